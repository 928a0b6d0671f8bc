#pragma once

#include <optional>
#include <vector>

namespace orvik::helper {

// A point in global screen coordinates (origin at the top-left of the primary screen, y downward).
struct OverlayPoint {
    double x = 0;
    double y = 0;
    bool operator==(const OverlayPoint&) const = default;
};

// A screen or panel rectangle; it contains its minimum edges and not its maximum edges.
struct OverlayRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool contains(OverlayPoint point) const {
        return point.x >= x && point.x < x + width && point.y >= y && point.y < y + height;
    }
    bool operator==(const OverlayRect&) const = default;
};

// The screen the overlay covers for a pointer position: the first screen containing it, else the primary
// screen (the first of the list); absent when there is no screen.
std::optional<OverlayRect> screenUnder(OverlayPoint pointer, const std::vector<OverlayRect>& screensPrimaryFirst);

} // namespace orvik::helper
