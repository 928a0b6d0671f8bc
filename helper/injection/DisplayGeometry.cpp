#include "injection/DisplayGeometry.hpp"

#include <algorithm>

namespace orvik::helper {

DisplayPoint DisplayGeometry::clamp(DisplayPoint point, DisplayPoint previous, std::span<const DisplayRect> displays) {
    if (displays.empty()) return previous;
    auto holds = [](DisplayPoint p) { return [p](const DisplayRect& rect) { return rect.contains(p); }; };
    if (std::any_of(displays.begin(), displays.end(), holds(point))) return point;

    auto home = std::find_if(displays.begin(), displays.end(), holds(previous));
    const DisplayRect& target = home != displays.end() ? *home : nearestDisplay(previous, displays);
    return {std::min(std::max(point.x, target.minX()), target.maxX() - 1),
            std::min(std::max(point.y, target.minY()), target.maxY() - 1)};
}

const DisplayRect& DisplayGeometry::nearestDisplay(DisplayPoint point, std::span<const DisplayRect> displays) {
    const DisplayRect* best = &displays.front();
    double bestDistance = distance(point, *best);
    for (const auto& rect : displays.subspan(1)) {
        double candidate = distance(point, rect);
        if (candidate < bestDistance) {
            best = &rect;
            bestDistance = candidate;
        }
    }
    return *best;
}

double DisplayGeometry::distance(DisplayPoint point, const DisplayRect& rect) {
    double dx = std::max({rect.minX() - point.x, 0.0, point.x - rect.maxX()});
    double dy = std::max({rect.minY() - point.y, 0.0, point.y - rect.maxY()});
    return dx * dx + dy * dy;
}

} // namespace orvik::helper
