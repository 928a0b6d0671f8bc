#pragma once

namespace orvik {

// A part of a display in coordinates normalised to 0...1, origin at the top-left.
struct NormalizedRect {
    double x = 0;
    double y = 0;
    double width = 1;
    double height = 1;

    // Narrower or lower parts are widened to this, so that a region never collapses to nothing.
    static constexpr double minimumExtent = 0.05;

    static constexpr NormalizedRect full() { return {0, 0, 1, 1}; }

    // The nearest rectangle that lies on the display: `full()` when any value is not finite; otherwise width and
    // height limited to 0.05...1, then x to 0...(1 - width) and y to 0...(1 - height).
    NormalizedRect clamped() const;

    bool operator==(const NormalizedRect&) const = default;
};

} // namespace orvik
