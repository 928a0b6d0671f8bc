#pragma once

#include "core/Log.hpp"

#include <mutex>
#include <string>
#include <vector>

namespace orvik::helper::testing {

// Collects every log message ("Category: message") while it exists, from any thread.
class CapturedLog {
public:
    CapturedLog() {
        Log::setSink([this](Log::Level level, std::string_view category, std::string_view message) {
            std::lock_guard lock(mutex_);
            lines_.push_back({level, std::string(category) + ": " + std::string(message)});
        });
    }
    ~CapturedLog() { Log::setSink({}); }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    struct Line {
        Log::Level level;
        std::string text;
    };
    std::vector<Line> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Line> lines_;
};

} // namespace orvik::helper::testing
