#pragma once

#include "core/Log.hpp"
#include "core/ServerClock.hpp"

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace orvik::helper {

// Keeps a line that repeats from flooding the log (a phone reconnecting in a loop, a service that keeps failing).
// Lines are grouped by a key of the caller's: the line itself, or the line and what it is about. The first line
// of a key goes through; every further one within `interval` of it is only counted. The count is written as the
// last suppressed line followed by " (N more times)", or " (1 more time)", once the interval is over: before the
// key's next line that goes through, at flush(), or when the limiter ends. Thread-safe; log lines are written
// outside its lock.
class LogLimiter {
public:
    static constexpr double defaultInterval = 60;
    // Keys remembered at most; when a new key finds the table full, the keys whose interval is over are flushed.
    static constexpr std::size_t maxKeys = 256;

    explicit LogLimiter(double interval = defaultInterval, ServerClock clock = systemUptimeClock());
    ~LogLimiter();
    LogLimiter(const LogLimiter&) = delete;
    LogLimiter& operator=(const LogLimiter&) = delete;

    // Writes `message` unless a line of `key` went through less than `interval` ago; answers whether it wrote.
    bool write(Log::Level level, std::string_view category, std::string_view key, std::string_view message);
    // The same with the message as its own key.
    bool write(Log::Level level, std::string_view category, std::string_view message) {
        return write(level, category, message, message);
    }

    // Writes the counts of the keys whose interval is over and forgets them.
    void flush();

private:
    struct Repeats {
        double since = 0;
        std::size_t suppressed = 0;
        Log::Level level = Log::Level::info;
        std::string category;
        std::string lastMessage;
    };
    struct Line {
        Log::Level level;
        std::string category;
        std::string message;
    };

    // Under the lock: moves the summaries of the keys whose interval is over (all keys when `all`) into `out`.
    void takeSummaries(double now, bool all, std::vector<Line>& out);
    static Line summary(const Repeats& repeats);
    static void writeAll(const std::vector<Line>& lines);

    double interval_;
    ServerClock clock_;
    std::mutex mutex_;
    std::map<std::string, Repeats, std::less<>> keys_;
};

} // namespace orvik::helper
