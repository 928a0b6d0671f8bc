#pragma once

#include <filesystem>

namespace orvik::helper {

// What every program the helper starts is given, however it is started: standard input from the null device
// (the helper's own input is not the child's to read), no descriptor of the helper's beyond standard input,
// output and error (a child holding the listening socket or a phone's connection could accept or write to
// phones, and keeps the port open after the helper quits), and the user's home as its working directory
// rather than wherever the helper happened to be started.
struct ChildSetup {
    ChildSetup() = delete;

    static constexpr const char* nullDevice = "/dev/null";
    // Descriptors from here on are closed in every child.
    static constexpr int firstClosedDescriptor = 3;

    // The user's home, or "/" when that is not a folder.
    static std::filesystem::path workingDirectory();
};

} // namespace orvik::helper
