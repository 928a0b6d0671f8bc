#pragma once

#include <filesystem>

namespace orvik::helper {

// What every program the helper starts is given, however it is started: standard input from the null device
// (the helper's own input is not the child's to read), no descriptor of the helper's beyond standard input,
// output and error (a child holding the listening socket or a phone's connection could accept or write to
// phones, and keeps the port open after the helper quits), the user's home as its working directory
// rather than wherever the helper happened to be started, and the signal state a program expects at its start:
// nothing blocked and SIGPIPE at its default action (a thread of ours that talks to X blocks SIGPIPE and the
// helper ignores it; both would outlive exec, and a pipeline whose reader ended would then never stop).
struct ChildSetup {
    ChildSetup() = delete;

    static constexpr const char* nullDevice = "/dev/null";
    // Descriptors from here on are closed in every child.
    static constexpr int firstClosedDescriptor = 3;

    // The user's home, or "/" when that is not a folder.
    static std::filesystem::path workingDirectory();

    // Unblocks every signal and sets SIGPIPE back to its default action, in a child that a library forked for us,
    // between fork and exec: async-signal-safe.
    static void restoreSignalsInChild() noexcept;
};

} // namespace orvik::helper
