#pragma once

// What chosen threads of this process cost over an interval: CPU time and wake-ups from /proc (the sum of
// voluntary and involuntary context switches), and, when ORVIK_BENCH_SYSCALLS is set, system calls from the
// kernel's raw_syscalls:sys_enter tracepoint counted per thread (needs perf events with tracepoints: root, or
// perf_event_paranoid -1; absent otherwise). Counting system calls slows each call down: measure rates without.

#include <linux/perf_event.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace orvik::bench {

// System calls are NaN where they were not counted, and stay so through the arithmetic.
struct ThreadCost {
    double cpuMicroseconds = 0;
    double wakeUps = 0;
    double syscalls = std::numeric_limits<double>::quiet_NaN();

    ThreadCost& operator+=(const ThreadCost& other) {
        cpuMicroseconds += other.cpuMicroseconds;
        wakeUps += other.wakeUps;
        syscalls += other.syscalls;
        return *this;
    }
    ThreadCost operator-(const ThreadCost& earlier) const {
        return {cpuMicroseconds - earlier.cpuMicroseconds, wakeUps - earlier.wakeUps, syscalls - earlier.syscalls};
    }
    ThreadCost per(double count) const { return {cpuMicroseconds / count, wakeUps / count, syscalls / count}; }
};

// The threads of this process whose name starts with `prefix`.
inline std::vector<pid_t> threadsNamed(const std::string& prefix) {
    std::vector<pid_t> found;
    DIR* tasks = ::opendir("/proc/self/task");
    if (tasks == nullptr) return found;
    while (dirent* entry = ::readdir(tasks)) {
        if (entry->d_name[0] == '.') continue;
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string name;
        std::getline(comm, name);
        if (name.rfind(prefix, 0) == 0) found.push_back(static_cast<pid_t>(std::stol(entry->d_name)));
    }
    ::closedir(tasks);
    return found;
}

// The one thread named so, waiting for it to be named (a thread names itself once it runs).
inline pid_t threadNamed(const std::string& prefix) {
    for (;;) {
        auto found = threadsNamed(prefix);
        if (!found.empty()) return found.front();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Counts one thread from construction on; read() gives what it cost since.
class ThreadCounter {
public:
    explicit ThreadCounter(pid_t thread) : thread_(thread), start_(sample()) {
        if (!std::getenv("ORVIK_BENCH_SYSCALLS")) return;
        perf_event_attr attributes{};
        attributes.size = sizeof attributes;
        attributes.type = PERF_TYPE_TRACEPOINT;
        attributes.config = tracepointID();
        if (attributes.config == 0) return;
        syscallCounter_ = static_cast<int>(::syscall(SYS_perf_event_open, &attributes, thread, -1, -1, 0));
    }
    ~ThreadCounter() {
        if (syscallCounter_ >= 0) ::close(syscallCounter_);
    }
    ThreadCounter(const ThreadCounter&) = delete;
    ThreadCounter& operator=(const ThreadCounter&) = delete;

    // A thread that started after the counting began: all of its wake-ups.
    static double wakeUpsSinceStart(pid_t thread) { return ThreadCounter(thread).start_.wakeUps; }

    ThreadCost read() const {
        auto now = sample();
        ThreadCost cost{now.cpuMicroseconds - start_.cpuMicroseconds, now.wakeUps - start_.wakeUps};
        std::uint64_t count = 0;
        if (syscallCounter_ >= 0 && ::read(syscallCounter_, &count, sizeof count) == sizeof count) {
            cost.syscalls = static_cast<double>(count);
        }
        return cost;
    }

private:
    static std::uint64_t tracepointID() {
        for (const char* path : {"/sys/kernel/tracing/events/raw_syscalls/sys_enter/id",
                                 "/sys/kernel/debug/tracing/events/raw_syscalls/sys_enter/id"}) {
            std::ifstream file(path);
            std::uint64_t id = 0;
            if (file >> id) return id;
        }
        return 0;
    }

    // CPU from the scheduler's exact sum where the kernel shows it, else from the clock ticks of stat.
    ThreadCost sample() const {
        const std::string folder = "/proc/self/task/" + std::to_string(thread_) + "/";
        ThreadCost cost;
        std::ifstream sched(folder + "sched");
        bool exact = false;
        for (std::string line; std::getline(sched, line);) {
            if (line.rfind("se.sum_exec_runtime", 0) != 0) continue;
            cost.cpuMicroseconds = std::stod(line.substr(line.find(':') + 1)) * 1000;
            exact = true;
        }
        if (!exact) {
            std::ifstream stat(folder + "stat");
            std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
            std::istringstream fields(text.substr(text.rfind(')') + 2));
            std::string field;
            double ticks = 0;
            for (int index = 3; fields >> field && index <= 15; ++index) {
                if (index >= 14) ticks += std::stod(field);
            }
            cost.cpuMicroseconds = ticks * 1e6 / static_cast<double>(::sysconf(_SC_CLK_TCK));
        }
        std::ifstream status(folder + "status");
        for (std::string line; std::getline(status, line);) {
            if (line.find("ctxt_switches:") != std::string::npos) {
                cost.wakeUps += std::stod(line.substr(line.find(':') + 1));
            }
        }
        return cost;
    }

    pid_t thread_;
    ThreadCost start_;
    int syscallCounter_ = -1;
};

// The process but some threads (a driver, a simulated phone): CPU exactly, from the process's clock (which keeps
// the time of threads that ended) less the excluded threads'; wake-ups and system calls summed over the other
// threads alive at the end (system calls only of those alive at the start: a thread that started since is not
// counted).
class ProcessCounter {
public:
    explicit ProcessCounter(const std::vector<pid_t>& excluded) : processStart_(processMicroseconds()) {
        for (auto thread : threadsNamed("")) {
            bool isExcluded = std::find(excluded.begin(), excluded.end(), thread) != excluded.end();
            (isExcluded ? excluded_ : others_).push_back(std::make_unique<ThreadCounter>(thread));
            if (!isExcluded) started_.push_back(thread);
        }
        excludedIDs_ = excluded;
    }

    ThreadCost read() const {
        ThreadCost total{processMicroseconds() - processStart_, 0, 0.0};
        for (const auto& counter : excluded_) total.cpuMicroseconds -= counter->read().cpuMicroseconds;
        for (const auto& counter : others_) {
            auto cost = counter->read();
            total.wakeUps += cost.wakeUps;
            total.syscalls += cost.syscalls;
        }
        for (auto thread : threadsNamed("")) {
            bool known = std::find(started_.begin(), started_.end(), thread) != started_.end() ||
                         std::find(excludedIDs_.begin(), excludedIDs_.end(), thread) != excludedIDs_.end();
            if (!known) total.wakeUps += ThreadCounter::wakeUpsSinceStart(thread);
        }
        return total;
    }

private:
    static double processMicroseconds() {
        timespec time{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
        return static_cast<double>(time.tv_sec) * 1e6 + static_cast<double>(time.tv_nsec) / 1e3;
    }

    double processStart_;
    std::vector<pid_t> started_;
    std::vector<pid_t> excludedIDs_;
    std::vector<std::unique_ptr<ThreadCounter>> excluded_;
    std::vector<std::unique_ptr<ThreadCounter>> others_;
};

} // namespace orvik::bench
