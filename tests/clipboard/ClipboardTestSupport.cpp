#include "ClipboardTestSupport.hpp"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace orvik::helper::testing {

namespace {

std::vector<char*> arguments(const std::vector<std::string>& argv) {
    std::vector<char*> result;
    for (const auto& argument : argv) result.push_back(const_cast<char*>(argument.c_str()));
    result.push_back(nullptr);
    return result;
}

int waitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

ProgramResult runProgram(const std::vector<std::string>& argv) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    // Refusals are expected in some checks; the exit status tells them.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    auto args = arguments(argv);
    pid_t pid = -1;
    int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    ProgramResult result;
    if (spawned != 0) {
        close(pipeEnds[0]);
        return result;
    }
    std::uint8_t buffer[65536];
    ssize_t got = 0;
    while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0) result.output.insert(result.output.end(), buffer, buffer + got);
    }
    close(pipeEnds[0]);
    result.exitStatus = waitFor(pid);
    return result;
}

BackgroundProgram::BackgroundProgram(const std::vector<std::string>& argv) {
    auto args = arguments(argv);
    // xclip chats about every request it serves, even with -quiet.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    int spawned = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + argv.front());
}

BackgroundProgram::~BackgroundProgram() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitFor(pid_);
}

ProgramResult readClipboard(const std::string& target) {
    return runProgram({"xclip", "-selection", "clipboard", "-o", "-t", target});
}

std::vector<std::string> offeredTargets() {
    std::vector<std::string> targets;
    std::istringstream lines(readClipboard("TARGETS").text());
    for (std::string line; std::getline(lines, line);) targets.push_back(line);
    return targets;
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

SilentOwner::SilentOwner() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) throw std::runtime_error("cannot open the display");
    Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(display, XInternAtom(display, "CLIPBOARD", False), window, CurrentTime);
    XSync(display, False);
    display_ = display;
}

SilentOwner::~SilentOwner() {
    XCloseDisplay(static_cast<Display*>(display_));
}

TemporaryFile::TemporaryFile(const Bytes& contents) {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvik-clipboard-XXXXXX").string();
    int fd = mkstemp(pattern.data());
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    path_ = pattern;
    std::size_t written = 0;
    while (written < contents.size()) {
        ssize_t now = write(fd, contents.data() + written, contents.size() - written);
        if (now <= 0) break;
        written += static_cast<std::size_t>(now);
    }
    close(fd);
}

TemporaryFile::~TemporaryFile() {
    unlink(path_.c_str());
}

Bytes patternBytes(std::size_t size, std::uint32_t seed) {
    Bytes bytes(size);
    std::uint32_t state = seed;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

} // namespace orvik::helper::testing
