#pragma once

#include "apps/DesktopEntry.hpp"
#include "apps/WindowIdentity.hpp"

#include <cstddef>
#include <optional>
#include <vector>

namespace orvik::helper {

// Which installed application a window belongs to. Strongest evidence first: the GTK application id naming the
// desktop file, the entry's StartupWMClass, the desktop-file id matching the window class (also the last part of
// a reverse-DNS id), the Exec program matching the class instance. Case is ignored except for the first two.
class AppWindowMatcher {
public:
    AppWindowMatcher() = delete;

    // The index of the entry in `entries`; absent when none matches.
    static std::optional<std::size_t> match(const WindowIdentity& window, const std::vector<DesktopEntry>& entries);
};

} // namespace orvik::helper
