#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvik::helper {

// Programs started with an exact argument list, never through a shell, each in a process group of its own so that a
// watchdog can end it together with whatever it started. Every child is reaped, also one that outlives its caller's
// interest. A child gets what ChildSetup describes: standard input from the null device and standard error to it,
// no other descriptor of ours, the user's home as working directory.
//
// A status is the program's exit code, or 128 plus the signal's number when a signal ended it.
class Subprocess {
public:
    Subprocess() = delete;

    using Arguments = std::vector<std::string>;

    struct Captured {
        int status = 0;
        std::string output;
        // The watchdog ended the process group before its output was complete.
        bool stopped = false;
    };

    // Output beyond this is read and dropped, so a runaway program cannot fill the memory.
    static constexpr std::size_t maxCapturedOutput = std::size_t{4} << 20;
    // How often a program that closed its output is checked for its exit.
    static constexpr std::chrono::milliseconds exitPollInterval{10};

    // Runs the program with its standard output captured and waits for it on the calling thread. When it is still
    // running `watchdog` after its start, its whole group is killed and reading stops there. Absent when the
    // program cannot be started.
    static std::optional<Captured> capture(const std::filesystem::path& program, const Arguments& arguments,
                                           std::chrono::milliseconds watchdog);

    // Starts the program with its standard output discarded and returns at once; false when it cannot be started.
    // A thread of its own waits for it and calls `exited` with its status, however long it runs.
    static bool start(const std::filesystem::path& program, const Arguments& arguments,
                      std::function<void(int status)> exited);
};

} // namespace orvik::helper
