#pragma once

#include "system/SleepTimer.hpp"

#include <deque>

namespace orvik::helper {

// A sleeper whose waits end when the test says: `finish()` ends the oldest wait as if its time had passed (also
// one that was cancelled, as a real timer that expired just before its cancel does). Single-threaded.
class ManualSleeper {
public:
    struct Wait {
        std::chrono::nanoseconds delay;
        std::function<void()> done;
        bool cancelled = false;
    };

    SleepTimer::Sleeper sleeper() {
        return [this](std::chrono::nanoseconds delay, std::function<void()> done) -> SleepTimer::Cancel {
            waits.push_back(std::make_shared<Wait>(Wait{delay, std::move(done)}));
            return [wait = waits.back()] { wait->cancelled = true; };
        };
    }
    void finish() {
        auto wait = waits.front();
        waits.pop_front();
        wait->done();
    }

    std::deque<std::shared_ptr<Wait>> waits;
};

} // namespace orvik::helper
