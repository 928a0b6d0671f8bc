#pragma once

#include <sys/resource.h>

namespace orvik::helper {

// Linux starts a session's programs with a soft limit of open files (1,024, or less where an administrator set it)
// far below the hard one, which a program may raise itself. The helper needs about 300 while strangers hold its
// connections inside TLS, and a listener out of descriptors turns every phone away.
struct OpenFileLimit {
    OpenFileLimit() = delete;

    // Ten times what the helper needs at most. Not the hard limit itself (often half a million or more): the
    // programs the helper starts inherit the soft limit, and some size tables by it or close every descriptor
    // below it one by one.
    static constexpr rlim_t wanted = 4096;

    // Raises the soft limit to `wanted`, or to the hard limit where that is lower; never lowers it. False when the
    // kernel refused.
    static bool raise();
};

} // namespace orvik::helper
