#pragma once

#include "injection/DisplayRect.hpp"

#include <span>

namespace orvik::helper {

// Keeps the pointer on a display.
class DisplayGeometry {
public:
    DisplayGeometry() = delete;

    // `point` unchanged when a display contains it; otherwise pinned to the nearest whole point of the
    // display that holds `previous` (or, when none does, the display nearest to it). With no displays:
    // `previous`.
    static DisplayPoint clamp(DisplayPoint point, DisplayPoint previous, std::span<const DisplayRect> displays);

private:
    static const DisplayRect& nearestDisplay(DisplayPoint point, std::span<const DisplayRect> displays);
    // Squared distance from a point to a rectangle, 0 inside or on its edge.
    static double distance(DisplayPoint point, const DisplayRect& rect);
};

} // namespace orvik::helper
