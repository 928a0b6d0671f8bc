#pragma once

#include "orvik/protocol/coding/Uuid.hpp"

#include <optional>
#include <string>
#include <vector>

namespace orvik::helper {

// Which pending session makes room for a newcomer once the connections still inside TLS have taken all their places.
//
// Only a session still inside its TLS handshake may go: one that finished TLS has proved it holds a key (a paired
// device's, or the open pairing window's), and a newcomer without one must never displace it. Among those inside
// TLS, the ones of the address that has the most of them, the newcomer counted, go first, and of these the oldest:
// addresses churning unfinished handshakes displace each other before a phone whose own handshake is slow on its
// link, as long as fewer addresses than places churn.
struct PendingEviction {
    struct Candidate {
        Uuid id;
        std::string address;
        double openedAt = 0;
        bool finishedTLS = false;
    };

    // The session to end, in `pending`'s order among equals; absent: refuse the newcomer.
    static std::optional<Uuid> choose(const std::vector<Candidate>& pending, const std::string& newcomerAddress);
};

} // namespace orvik::helper
