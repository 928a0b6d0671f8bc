#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/coding/Uuid.hpp"

#include <chrono>
#include <cstdint>
#include <string>

namespace orvik::test {

// A paired phone on a poor link, as a blocking client of its own (no event loop to share with a test): every
// flight it sends leaves `flightDelay` late: the ClientHello, the TLS second flight (identity, key exchange,
// Finished), `hello` and `authenticate`; with `lateBothWays`, every flight of the helper's reaches it as late. It
// connects from `localAddress` (any of 127.0.0.0/8) to the helper on 127.0.0.1.
struct SlowLinkPhone {
    std::uint16_t port = 0;
    std::string localAddress = "127.0.0.1";
    Uuid deviceID;
    Bytes deviceKey;
    std::chrono::milliseconds flightDelay{50};
    // The whole attempt, from the connect to `authenticated`.
    std::chrono::milliseconds timeout{5000};
    // The link is late both ways, as Wi-Fi is.
    bool lateBothWays = false;

    // One attempt: true when the helper answered `authenticated`.
    bool authenticates() const;
};

} // namespace orvik::test
