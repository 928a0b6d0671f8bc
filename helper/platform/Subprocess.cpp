#include "platform/Subprocess.hpp"

#include "platform/ChildSetup.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ; // NOLINT(readability-redundant-declaration): POSIX declares it nowhere

namespace orvik::helper {

namespace {

constexpr int signalStatusBase = 128;
constexpr std::size_t readChunk = 16384;

int statusOf(int waitStatus) {
    if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) return signalStatusBase + WTERMSIG(waitStatus);
    return -1;
}

int reap(pid_t pid) {
    int waitStatus = 0;
    while (waitpid(pid, &waitStatus, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return statusOf(waitStatus);
}

// The spawn attributes and file actions of one child, released however the start ends.
class SpawnSetup {
public:
    // `output` receives standard output; -1 sends it to the null device.
    explicit SpawnSetup(int output) : workingDirectory_(ChildSetup::workingDirectory().string()) {
        posix_spawn_file_actions_init(&actions_);
        posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, ChildSetup::nullDevice, O_RDONLY, 0);
        if (output >= 0) {
            posix_spawn_file_actions_adddup2(&actions_, output, STDOUT_FILENO);
        } else {
            posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, ChildSetup::nullDevice, O_WRONLY, 0);
        }
        posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, ChildSetup::nullDevice, O_WRONLY, 0);
        // Whatever a library of ours opened without close-on-exec stays with us.
        posix_spawn_file_actions_addclosefrom_np(&actions_, ChildSetup::firstClosedDescriptor);
        posix_spawn_file_actions_addchdir_np(&actions_, workingDirectory_.c_str());
        posix_spawnattr_init(&attributes_);
        // A group of its own (its id is the child's pid); the signal mask and an ignored SIGPIPE of ours are not
        // the child's business.
        posix_spawnattr_setpgroup(&attributes_, 0);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes_, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes_, &defaults);
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    std::optional<pid_t> spawn(const std::filesystem::path& program, const Subprocess::Arguments& arguments) {
        std::vector<std::string> texts{program.string()};
        texts.insert(texts.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        argv.reserve(texts.size() + 1);
        for (auto& text : texts) argv.push_back(text.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        if (posix_spawn(&pid, texts.front().c_str(), &actions_, &attributes_, argv.data(), environ) != 0) {
            return std::nullopt;
        }
        return pid;
    }

private:
    // The file actions keep a pointer to it.
    std::string workingDirectory_;
    posix_spawn_file_actions_t actions_{};
    posix_spawnattr_t attributes_{};
};

using Clock = std::chrono::steady_clock;

int millisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left + 1, 0, 60'000));
}

// Reads until the end of the output or the deadline; false when the deadline came first.
bool readUntil(int descriptor, Clock::time_point deadline, std::string& output) {
    char buffer[readChunk];
    for (;;) {
        if (Clock::now() >= deadline) return false;
        pollfd ready{descriptor, POLLIN, 0};
        const int polled = poll(&ready, 1, millisecondsUntil(deadline));
        if (polled < 0 && errno != EINTR) return true;
        if (polled <= 0) continue;
        const ssize_t count = read(descriptor, buffer, sizeof buffer);
        if (count > 0) {
            const auto room = Subprocess::maxCapturedOutput - std::min(output.size(), Subprocess::maxCapturedOutput);
            output.append(buffer, std::min(static_cast<std::size_t>(count), room));
        } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
            return true;
        }
    }
}

// Waits for the exit until the deadline; false when the program was still running then.
bool exitsBefore(pid_t pid, Clock::time_point deadline, int& status) {
    for (;;) {
        int waitStatus = 0;
        const pid_t waited = waitpid(pid, &waitStatus, WNOHANG);
        if (waited == pid) {
            status = statusOf(waitStatus);
            return true;
        }
        if (waited < 0 && errno != EINTR) {
            status = -1;
            return true;
        }
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(Subprocess::exitPollInterval);
    }
}

} // namespace

std::optional<Subprocess::Captured> Subprocess::capture(const std::filesystem::path& program,
                                                        const Arguments& arguments,
                                                        std::chrono::milliseconds watchdog) {
    const auto deadline = Clock::now() + watchdog;
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return std::nullopt;
    std::optional<pid_t> pid;
    {
        SpawnSetup setup(pipeEnds[1]);
        pid = setup.spawn(program, arguments);
    }
    close(pipeEnds[1]);
    if (!pid) {
        close(pipeEnds[0]);
        return std::nullopt;
    }
    Captured captured;
    const bool complete = readUntil(pipeEnds[0], deadline, captured.output);
    close(pipeEnds[0]);
    if (complete && exitsBefore(*pid, deadline, captured.status)) return captured;
    // The group's id is the child's pid, which stays reserved until it is reaped below.
    kill(-*pid, SIGKILL);
    captured.status = reap(*pid);
    captured.stopped = true;
    return captured;
}

bool Subprocess::start(const std::filesystem::path& program, const Arguments& arguments,
                       std::function<void(int status)> exited) {
    SpawnSetup setup(-1);
    const auto pid = setup.spawn(program, arguments);
    if (!pid) return false;
    std::thread([pid = *pid, exited = std::move(exited)] { exited(reap(pid)); }).detach();
    return true;
}

} // namespace orvik::helper
