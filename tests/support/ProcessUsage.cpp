#include "ProcessUsage.hpp"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace orvik::test {
namespace fs = std::filesystem;
namespace {

// utime + stime, fields 14 and 15 of /proc/PID/stat; the name (field 2) may hold spaces, so fields are counted
// after its closing parenthesis.
std::optional<double> cpuSecondsOf(const fs::path& stat) {
    std::ifstream file(stat);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto nameEnd = text.rfind(')');
    if (nameEnd == std::string::npos) return std::nullopt;
    std::istringstream fields(text.substr(nameEnd + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    // Field 3 (state) is the first after the name.
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number == 14) user = std::stoull(field);
        if (number == 15) system = std::stoull(field);
    }
    return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The "Key:" lines of a /proc status file as numbers.
std::map<std::string, std::uint64_t> statusNumbers(const fs::path& status) {
    std::map<std::string, std::uint64_t> numbers;
    std::ifstream file(status);
    for (std::string line; std::getline(file, line);) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::istringstream value(line.substr(colon + 1));
        std::uint64_t number = 0;
        if (value >> number) numbers[line.substr(0, colon)] = number;
    }
    return numbers;
}

std::string threadName(const fs::path& task) {
    std::ifstream file(task / "comm");
    std::string name;
    std::getline(file, name);
    return name + " " + task.filename().string();
}

} // namespace

std::optional<ProcessUsage> ProcessUsage::of(pid_t pid) {
    const fs::path process = "/proc/" + std::to_string(pid);
    auto cpu = cpuSecondsOf(process / "stat");
    if (!cpu) return std::nullopt;
    ProcessUsage usage;
    usage.cpuSeconds = *cpu;
    usage.residentKiB = statusNumbers(process / "status")["VmRSS"];
    std::error_code error;
    for (const auto& task : fs::directory_iterator(process / "task", error)) {
        auto numbers = statusNumbers(task.path() / "status");
        const auto switches = numbers["voluntary_ctxt_switches"] + numbers["nonvoluntary_ctxt_switches"];
        usage.wakeUps += switches;
        usage.wakeUpsByThread[threadName(task.path())] = switches;
        usage.cpuSecondsByThread[threadName(task.path())] = cpuSecondsOf(task.path() / "stat").value_or(0);
        ++usage.threads;
    }
    return usage;
}

std::uint64_t ProcessUsage::wakeUpsOf(const std::string& threadName) const {
    std::uint64_t total = 0;
    for (const auto& [name, count] : wakeUpsByThread) {
        if (name.rfind(threadName + " ", 0) == 0) total += count;
    }
    return total;
}

bool ProcessUsage::waitUntilQuiet(pid_t pid, const std::string& threadName, std::chrono::milliseconds window,
                                  std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto last = of(pid);
    while (last && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(window);
        auto now = of(pid);
        if (now && now->wakeUpsOf(threadName) == last->wakeUpsOf(threadName)) return true;
        last = std::move(now);
    }
    return false;
}

UsageRate UsageRate::between(const ProcessUsage& before, const ProcessUsage& after,
                             std::chrono::duration<double> wall) {
    UsageRate rate;
    const double seconds = std::max(wall.count(), 1e-3);
    rate.cpuShare = (after.cpuSeconds - before.cpuSeconds) / seconds;
    rate.wakeUpsPerSecond = static_cast<double>(after.wakeUps - std::min(after.wakeUps, before.wakeUps)) / seconds;
    std::vector<std::pair<double, std::string>> threads;
    for (const auto& [name, count] : after.wakeUpsByThread) {
        auto earlier = before.wakeUpsByThread.find(name);
        const auto woke = count - (earlier == before.wakeUpsByThread.end() ? 0 : std::min(count, earlier->second));
        if (woke > 0) threads.emplace_back(static_cast<double>(woke) / seconds, name);
    }
    std::sort(threads.rbegin(), threads.rend());
    for (const auto& [perSecond, name] : threads) {
        std::ostringstream line;
        line.precision(3);
        line << name << ": " << perSecond << "/s";
        rate.busiestThreads.push_back(line.str());
    }
    return rate;
}

std::optional<UsageRate> UsageRate::over(pid_t pid, std::chrono::milliseconds interval) {
    auto before = ProcessUsage::of(pid);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(interval);
    auto after = ProcessUsage::of(pid);
    if (!before || !after) return std::nullopt;
    return between(*before, *after, std::chrono::steady_clock::now() - start);
}

std::string UsageRate::describe() const {
    std::ostringstream text;
    text.precision(3);
    text << "CPU " << cpuShare * 100 << " %, " << wakeUpsPerSecond << " wake-ups/s";
    for (const auto& thread : busiestThreads) text << "\n  " << thread;
    return text.str();
}

std::vector<std::string> openDescriptors(pid_t pid) {
    std::vector<std::string> descriptors;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        auto target = fs::read_symlink(entry.path(), error);
        descriptors.push_back(entry.path().filename().string() + " -> " + (error ? "?" : target.string()));
    }
    std::sort(descriptors.begin(), descriptors.end());
    return descriptors;
}

namespace {

std::size_t entryCount(const char* folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++count;
    return count;
}

} // namespace

std::size_t openDescriptorCount() {
    return entryCount("/proc/self/fd");
}

std::size_t threadCount() {
    return entryCount("/proc/self/task");
}

} // namespace orvik::test
