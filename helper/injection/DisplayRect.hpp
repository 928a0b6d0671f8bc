#pragma once

namespace orvik::helper {

// Positions in the global display space: points (not pixels), origin at the top-left corner of the primary
// display, y growing downward; other displays sit around it, so coordinates may be negative.
struct DisplayPoint {
    double x = 0;
    double y = 0;

    friend bool operator==(const DisplayPoint&, const DisplayPoint&) = default;
};

// A relative motion or scroll amount in the same space.
struct DisplayVector {
    double dx = 0;
    double dy = 0;

    friend bool operator==(const DisplayVector&, const DisplayVector&) = default;
};

// One display's bounds. A rectangle contains its minimum edges and not its maximum edges.
struct DisplayRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }

    bool contains(DisplayPoint point) const {
        return minX() <= point.x && point.x < maxX() && minY() <= point.y && point.y < maxY();
    }

    friend bool operator==(const DisplayRect&, const DisplayRect&) = default;
};

} // namespace orvik::helper
