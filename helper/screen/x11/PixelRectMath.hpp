#pragma once

#include "platform/DisplayIdentifiers.hpp"

#include <algorithm>
#include <optional>

namespace orvik::helper {

inline bool encloses(const PixelRect& outer, const PixelRect& inner) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

// The part of `a` inside `b`; absent when they do not overlap.
inline std::optional<PixelRect> overlap(const PixelRect& a, const PixelRect& b) {
    const int left = std::max(a.x, b.x);
    const int top = std::max(a.y, b.y);
    const int right = std::min(a.x + a.width, b.x + b.width);
    const int bottom = std::min(a.y + a.height, b.y + b.height);
    if (left >= right || top >= bottom) return std::nullopt;
    return PixelRect{left, top, right - left, bottom - top};
}

inline PixelRect shifted(const PixelRect& rect, int dx, int dy) {
    return {rect.x + dx, rect.y + dy, rect.width, rect.height};
}

} // namespace orvik::helper
