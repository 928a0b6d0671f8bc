#pragma once

#include <chrono>
#include <cstddef>

namespace orvik::helper {

// The bounds that keep a clipboard owner we do not control from holding the server thread or filling memory.
// A snapshot leaves out what does not fit; the server waits for the clipboard thread at most about
// `snapshotTime` plus `replyMargin`.
struct ClipboardLimits {
    // Largest data of one target kept in a snapshot or read as text.
    std::size_t maxTargetBytes = 16 * 1024 * 1024;
    // Largest snapshot in all; targets that no longer fit are left out.
    std::size_t maxSnapshotBytes = 64 * 1024 * 1024;
    // Most targets copied into one snapshot.
    std::size_t maxTargets = 32;
    // Longest wait for one target's data from another owner, including every incremental chunk.
    std::chrono::milliseconds conversionTime{500};
    // Longest time one snapshot may take; targets not read by then are left out.
    std::chrono::milliseconds snapshotTime{1500};
    // An incremental transfer to a requestor that has not taken a chunk for this long is dropped.
    std::chrono::milliseconds transferIdleTime{5000};
    // Most incremental transfers served at once; further large requests are refused.
    std::size_t maxTransfers = 8;
    // How long a write or a change-count query waits for the clipboard thread: both are quick round trips to
    // the X server, but they queue behind earlier calls.
    std::chrono::milliseconds quickCallTime{1000};
    // How much longer than its own bound a caller waits for the clipboard thread's answer.
    std::chrono::milliseconds replyMargin{500};
};

} // namespace orvik::helper
