#pragma once

#include "injection/DisplayRect.hpp"
#include "orvik/protocol/messages/InputMessages.hpp"

#include <limits>
#include <optional>

namespace orvik::helper {

// Counts single, double and triple clicks: a click continues the run when it is the same button, within the
// double-click interval and within a few points of the previous one.
struct ClickCounter {
    static constexpr double nearDistance = 4; // points per axis, inclusive
    static constexpr int maxCount = 3;

    std::optional<MouseButton> lastButton;
    double lastTime = -std::numeric_limits<double>::infinity();
    DisplayPoint lastPoint;
    int currentCount = 1;

    ClickCounter() = default;
    explicit ClickCounter(int count) : currentCount(count) {}

    // Records a click and returns its count (1, 2 or 3). Times and interval are in seconds.
    int registerClick(MouseButton button, DisplayPoint point, double time, double interval);
    // Starts a fresh run: the next click counts 1.
    void reset();
};

} // namespace orvik::helper
