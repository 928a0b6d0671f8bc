#include "orvik/protocol/crypto/SymmetricKey.hpp"

#include <algorithm>

namespace orvik {

std::optional<SymmetricKey> SymmetricKey::fromBytes(ByteView bytes) {
    if (bytes.size() != length) return std::nullopt;
    Storage storage{};
    std::copy(bytes.begin(), bytes.end(), storage.begin());
    return SymmetricKey(storage);
}

} // namespace orvik
