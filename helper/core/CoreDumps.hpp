#pragma once

namespace orvik::helper {

// Keeps the helper's memory out of core dumps. It holds every paired device's key and the keys of its TLS
// sessions, in its own buffers and in OpenSSL's, in more places than could be marked page by page, so the whole
// process is marked instead.
struct CoreDumps {
    CoreDumps() = delete;

    // Marks the process not dumpable (PR_SET_DUMPABLE 0): the kernel writes no core of it (while
    // fs.suid_dumpable is 0, the default) and only root may attach a debugger. Children get the flag back when
    // they start another program. False when the kernel refused.
    static bool disable();
    static bool areDisabled();
};

} // namespace orvik::helper
