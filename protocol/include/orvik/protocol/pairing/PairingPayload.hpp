#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/coding/Uuid.hpp"
#include "orvik/protocol/pairing/HostPort.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvik {

// What the pairing QR code carries: the helper, where to reach it and the pairing secret.
//
// URL: orvik://pair?v=1&h=<helper UUID>&n=<name>&a=<host:port,host:port>&s=<secret, URL-safe Base64>
// Each value is percent-encoded (UTF-8, upper-case hex) except for letters, digits and
// - . _ ~ ! $ ' ( ) * , ; : @ / ?  ("+" is encoded too, so no reader can take it for a space).
struct PairingPayload {
    static constexpr std::string_view scheme = "orvik";
    static constexpr std::string_view host = "pair";
    static constexpr int version = 1;
    static constexpr std::size_t secretLength = 32;

    Uuid helperID;
    std::string macName;
    std::vector<HostPort> addresses;
    Bytes secret;

    std::string url() const;
    // Reads a pairing URL: scheme and host in any case, each of v, h, n, a, s exactly once (other items are
    // ignored), v equal to 1, a valid UUID, a UTF-8 name, addresses in HostPort text form (an empty a means
    // none), and a 32-byte secret. Anything else is absent.
    static std::optional<PairingPayload> parse(std::string_view url);

    friend bool operator==(const PairingPayload&, const PairingPayload&) = default;
};

} // namespace orvik
