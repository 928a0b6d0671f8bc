#pragma once

#include "orvik/protocol/crypto/SymmetricKey.hpp"

#include <string>

namespace orvik {

// One TLS pre-shared key with the identity under which a client offers it.
struct PreSharedKey {
    SymmetricKey key;
    std::string identity;

    friend bool operator==(const PreSharedKey&, const PreSharedKey&) = default;
};

} // namespace orvik
