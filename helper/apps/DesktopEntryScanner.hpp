#pragma once

#include "apps/DesktopEntry.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvik::helper {

// The installed applications after the desktop-entry rules: the XDG application folders in order of precedence,
// the first entry of an id hiding later ones (also when it is itself hidden), only Type=Application, no
// NoDisplay or Hidden, OnlyShowIn/NotShowIn against the current desktops, TryExec found. Sorted by name.
class DesktopEntryScanner {
public:
    struct Context {
        // $XDG_CURRENT_DESKTOP split at ":".
        std::vector<std::string> desktops;
        // Folders searched for a TryExec program without a slash ($PATH).
        std::vector<std::filesystem::path> searchPath;
        // An ICU locale for the name order ("de_DE"); en_US when empty.
        std::string collationLocale;
    };

    // $XDG_DATA_HOME/applications, then the "applications" folder of each of $XDG_DATA_DIRS.
    static std::vector<std::filesystem::path> defaultFolders();
    // The context of this process's environment.
    static Context currentContext();

    static std::vector<DesktopEntry> scan(const std::vector<std::filesystem::path>& folders, const Context& context);

    // The entry of one file under the rules (the id is the caller's); absent when it is not to be listed.
    static std::optional<DesktopEntry> read(const std::filesystem::path& file, const Context& context);
    // The same for a file's contents; the entry has no file.
    static std::optional<DesktopEntry> parse(std::string_view contents, const Context& context);
};

} // namespace orvik::helper
