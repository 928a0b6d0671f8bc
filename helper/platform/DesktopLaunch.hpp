#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace orvik::helper {

// Starts desktop applications through GIO (field codes, search path, D-Bus activation as the entry asks) with what
// ChildSetup gives every child: standard input, output and error on the null device, no other descriptor, no
// signal blocked and SIGPIPE at its default, and the user's home as working directory unless the entry names its
// own (Path). No shell is involved.
class DesktopLaunch {
public:
    DesktopLaunch() = delete;

    // Starts the application of a desktop entry file; the reason when it could not be started.
    static std::optional<std::string> entry(const std::filesystem::path& desktopFile);

    // Hands the link, as one argument, to the default application for its scheme (the x-scheme-handler/…
    // association of the MIME applications lists); the reason when there is none or it could not be started.
    static std::optional<std::string> link(const std::string& url);
};

} // namespace orvik::helper
