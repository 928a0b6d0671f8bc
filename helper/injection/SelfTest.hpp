#pragma once

#include "injection/DisplayRect.hpp"
#include "injection/InputSink.hpp"

#include <chrono>
#include <functional>
#include <vector>

namespace orvik::helper {

// The pointer self-test: moves the real pointer once around a small circle hanging below it, so the user sees
// that synthetic events reach the desktop.
class SelfTest {
public:
    SelfTest() = delete;

    static constexpr double radius = 60;
    static constexpr int steps = 60;
    static constexpr std::chrono::milliseconds stepPause{16};

    using Sleep = std::function<void(std::chrono::milliseconds)>;

    // steps + 1 points, clockwise on screen from the top of the circle back to it. With no steps, only the top.
    static std::vector<DisplayPoint> circlePoints(DisplayPoint center, double radius, int steps);

    // Posts 62 plain moves through `sink`: the circle's 61 points, pausing `stepPause` after each, then one
    // move back exactly to where the pointer started. Takes about a second, so run it off the GUI thread with a
    // sink of its own; `sleep` is replaceable for tests.
    static void drawCircle(InputSink& sink, const Sleep& sleep = &sleepFor);

private:
    static void sleepFor(std::chrono::milliseconds duration);
};

} // namespace orvik::helper
