#pragma once

#include "core/Log.hpp"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace orvik::helper::testing {

// Collects every log message ("Category: message") while it exists, from any thread.
class CapturedLog {
public:
    CapturedLog() {
        Log::setSink([this](Log::Level level, std::string_view category, std::string_view message) {
            std::lock_guard lock(mutex_);
            lines_.emplace_back(level, std::string(category) + ": " + std::string(message));
        });
    }
    ~CapturedLog() { Log::setSink({}); }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    std::vector<std::pair<Log::Level, std::string>> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    std::vector<std::string> messages() const {
        auto all = lines();
        std::vector<std::string> texts;
        texts.reserve(all.size());
        for (auto& line : all) texts.push_back(std::move(line.second));
        return texts;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<Log::Level, std::string>> lines_;
};

} // namespace orvik::helper::testing
