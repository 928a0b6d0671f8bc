#pragma once

#include "orvik/protocol/coding/Uuid.hpp"

#include <optional>
#include <string>
#include <vector>

namespace orvik::helper {

// Which pending session makes room for a newcomer once the pending sessions are at their limit.
//
// Only a session still inside its TLS handshake may go: one that finished TLS has proved it holds a key (a paired
// device's, or the open pairing window's), and a newcomer without one must never displace it; when every pending
// session has finished TLS, the newcomer is refused instead. Among those inside TLS, the ones of the address that
// has the most of them, the newcomer counted, go first, and of these the oldest: a few addresses churning
// unfinished handshakes displace each other before a phone whose own handshake is slow on its link.
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
