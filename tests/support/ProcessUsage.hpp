#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace orvik::test {

// What a running process has used so far, read from /proc: CPU time, wake-ups (voluntary and involuntary context
// switches of every thread), resident memory and threads. Cheap enough to sample in a test with wide bounds.
struct ProcessUsage {
    double cpuSeconds = 0;
    std::uint64_t wakeUps = 0;
    // By "name tid", for telling which thread is busy.
    std::map<std::string, std::uint64_t> wakeUpsByThread;
    std::map<std::string, double> cpuSecondsByThread;
    std::size_t residentKiB = 0;
    std::size_t threads = 0;

    // Absent once the process has gone.
    static std::optional<ProcessUsage> of(pid_t pid);
    // The wake-ups of the threads of this name so far.
    std::uint64_t wakeUpsOf(const std::string& threadName) const;
    // Waits (at most `limit`) until the threads of this name have not woken for a whole `window`, as after their
    // start or an attempt they make; false when they never were.
    static bool waitUntilQuiet(pid_t pid, const std::string& threadName,
                               std::chrono::milliseconds window = std::chrono::milliseconds(500),
                               std::chrono::milliseconds limit = std::chrono::milliseconds(15000));
};

// The use of a process over an interval of wall time.
struct UsageRate {
    double cpuShare = 0; // CPU seconds per second of wall time
    double wakeUpsPerSecond = 0;
    // The threads that woke in the interval, busiest first, as "name tid: N/s".
    std::vector<std::string> busiestThreads;

    static UsageRate between(const ProcessUsage& before, const ProcessUsage& after, std::chrono::duration<double> wall);
    // Samples `pid` over `interval`; absent when the process ended meanwhile.
    static std::optional<UsageRate> over(pid_t pid, std::chrono::milliseconds interval);
    std::string describe() const;
};

// The process's open descriptors as "N -> target", from /proc/PID/fd.
std::vector<std::string> openDescriptors(pid_t pid);

// How many descriptors and threads the calling process has now.
std::size_t openDescriptorCount();
std::size_t threadCount();

} // namespace orvik::test
