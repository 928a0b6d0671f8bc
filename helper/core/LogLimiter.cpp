#include "core/LogLimiter.hpp"

#include <utility>

namespace orvik::helper {

LogLimiter::LogLimiter(double interval, ServerClock clock) : interval_(interval), clock_(std::move(clock)) {}

LogLimiter::~LogLimiter() {
    std::vector<Line> lines;
    {
        std::lock_guard lock(mutex_);
        takeSummaries(0, true, lines);
    }
    writeAll(lines);
}

bool LogLimiter::write(Log::Level level, std::string_view category, std::string_view key, std::string_view message) {
    const double now = clock_();
    std::vector<Line> lines;
    {
        std::lock_guard lock(mutex_);
        auto found = keys_.find(key);
        if (found != keys_.end() && now - found->second.since < interval_) {
            auto& repeats = found->second;
            ++repeats.suppressed;
            repeats.level = level;
            repeats.category = category;
            repeats.lastMessage = message;
            return false;
        }
        if (found != keys_.end()) {
            if (found->second.suppressed > 0) lines.push_back(summary(found->second));
            keys_.erase(found);
        } else if (keys_.size() >= maxKeys) {
            takeSummaries(now, false, lines);
        }
        // A table full of keys still within their interval is not grown: such a line goes through uncounted.
        if (keys_.size() < maxKeys) keys_.emplace(std::string(key), Repeats{now, 0, level, std::string(category), {}});
        lines.push_back({level, std::string(category), std::string(message)});
    }
    writeAll(lines);
    return true;
}

void LogLimiter::flush() {
    const double now = clock_();
    std::vector<Line> lines;
    {
        std::lock_guard lock(mutex_);
        takeSummaries(now, false, lines);
    }
    writeAll(lines);
}

void LogLimiter::takeSummaries(double now, bool all, std::vector<Line>& out) {
    for (auto entry = keys_.begin(); entry != keys_.end();) {
        if (!all && now - entry->second.since < interval_) {
            ++entry;
            continue;
        }
        if (entry->second.suppressed > 0) out.push_back(summary(entry->second));
        entry = keys_.erase(entry);
    }
}

LogLimiter::Line LogLimiter::summary(const Repeats& repeats) {
    const char* times = repeats.suppressed == 1 ? " more time)" : " more times)";
    return {repeats.level, repeats.category, repeats.lastMessage + " (" + std::to_string(repeats.suppressed) + times};
}

void LogLimiter::writeAll(const std::vector<Line>& lines) {
    for (const auto& line : lines) Log::write(line.level, line.category, line.message);
}

} // namespace orvik::helper
