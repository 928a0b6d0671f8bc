#pragma once

namespace orvik::helper {

// Linux starts a session's programs with a soft limit of open files (1,024, or less where an administrator set it)
// far below the hard one, which a program may raise itself. The helper needs about 300 while strangers hold its
// connections inside TLS, and a listener out of descriptors turns every phone away.
struct OpenFileLimit {
    OpenFileLimit() = delete;

    // Raises the soft limit to the hard one; false when the kernel refused.
    static bool raise();
};

} // namespace orvik::helper
