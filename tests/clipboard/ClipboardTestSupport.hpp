#pragma once

#include "orvik/protocol/coding/Bytes.hpp"

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace orvik::helper::testing {

// What a finished program printed and how it ended.
struct ProgramResult {
    int exitStatus = -1;
    Bytes output;
    std::string text() const { return std::string(output.begin(), output.end()); }
};

// Runs a program to its end without a shell, capturing its standard output.
ProgramResult runProgram(const std::vector<std::string>& argv);

// A program running in the background, stopped by its pid when the object goes.
class BackgroundProgram {
public:
    explicit BackgroundProgram(const std::vector<std::string>& argv);
    ~BackgroundProgram();
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

private:
    pid_t pid_ = -1;
};

// What another client reads from the CLIPBOARD for `target` (xclip).
ProgramResult readClipboard(const std::string& target);
// The targets another client sees offered.
std::vector<std::string> offeredTargets();

// Polls `condition` until it holds or a generous limit passes; for waiting on other processes, never for
// measuring time.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = std::chrono::milliseconds(10000));

// A client that takes the CLIPBOARD and then never reads a request: an owner that hangs.
class SilentOwner {
public:
    SilentOwner();
    ~SilentOwner();
    SilentOwner(const SilentOwner&) = delete;
    SilentOwner& operator=(const SilentOwner&) = delete;

private:
    void* display_ = nullptr;
};

// A temporary file with the given bytes, removed when the object goes.
class TemporaryFile {
public:
    explicit TemporaryFile(const Bytes& contents);
    ~TemporaryFile();
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Deterministic bytes that look like nothing in particular.
Bytes patternBytes(std::size_t size, std::uint32_t seed);

} // namespace orvik::helper::testing
