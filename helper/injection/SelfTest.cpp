#include "injection/SelfTest.hpp"

#include <cmath>
#include <numbers>
#include <thread>

namespace orvik::helper {

std::vector<DisplayPoint> SelfTest::circlePoints(DisplayPoint center, double radius, int steps) {
    std::vector<DisplayPoint> points;
    if (steps <= 0) {
        points.push_back({center.x, center.y - radius});
        return points;
    }
    points.reserve(static_cast<std::size_t>(steps) + 1);
    for (int index = 0; index <= steps; ++index) {
        double angle = static_cast<double>(index) / steps * 2 * std::numbers::pi - std::numbers::pi / 2;
        points.push_back({center.x + radius * std::cos(angle), center.y + radius * std::sin(angle)});
    }
    return points;
}

void SelfTest::drawCircle(InputSink& sink, const Sleep& sleep) {
    auto start = sink.cursorLocation().location;
    DisplayPoint center{start.x, start.y + radius};
    auto previous = start;
    for (auto point : circlePoints(center, radius, steps)) {
        sink.postMouse(MouseEventKind::moved, std::nullopt, point, 0, {point.x - previous.x, point.y - previous.y});
        previous = point;
        sleep(stepPause);
    }
    sink.postMouse(MouseEventKind::moved, std::nullopt, start, 0, {0, 0});
}

void SelfTest::sleepFor(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

} // namespace orvik::helper
