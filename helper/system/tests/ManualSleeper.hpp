#pragma once

#include "system/SleepTimer.hpp"

#include <deque>

namespace orvik::helper {

// A sleeper whose waits end when the test says: `finish()` ends the oldest wait, cancelled or not (a real timer
// that ran out just before its cancel ends the same way). Single-threaded.
struct ManualSleeper {
    std::deque<std::pair<std::chrono::nanoseconds, std::function<void()>>> waits;

    SleepTimer::Sleeper sleeper() {
        return [this](std::chrono::nanoseconds delay, std::function<void()> done) -> SleepTimer::Cancel {
            waits.emplace_back(delay, std::move(done));
            return [] {};
        };
    }
    void finish() {
        auto done = std::move(waits.front().second);
        waits.pop_front();
        done();
    }
};

} // namespace orvik::helper
