#pragma once

#include "core/Date.hpp"

#include <functional>
#include <memory>

namespace orvik::helper {

// A once-a-second tick for a view's countdown or permission watch. Stopped by stop() or by its destruction;
// starting again restarts the period. Used on the GUI thread.
class Ticker {
public:
    static constexpr auto period = std::chrono::seconds(1);

    virtual ~Ticker() = default;
    virtual void start(std::function<void()> tick) = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

// The clock and tickers of the windows; tests hand in their own.
struct ViewTiming {
    std::function<Date()> now;
    std::function<std::unique_ptr<Ticker>()> makeTicker;

    // The wall clock and Qt timers.
    static ViewTiming system();
};

} // namespace orvik::helper
