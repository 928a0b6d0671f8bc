#pragma once

#include "apps/DesktopEntryScanner.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace orvik::helper {

// Where the app services look: the application folders, the listing context and the X display. Defaults to
// this process's environment.
struct AppEnvironment {
    std::vector<std::filesystem::path> folders = DesktopEntryScanner::defaultFolders();
    DesktopEntryScanner::Context context = DesktopEntryScanner::currentContext();
    // Empty: $DISPLAY.
    std::string displayName;
};

} // namespace orvik::helper
