#pragma once

#include "platform/DisplayIdentifiers.hpp"

#include <algorithm>
#include <optional>
#include <vector>

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

// What is left of `piece` outside `area`: up to four rectangles (above, below, left and right of it).
inline void subtract(const PixelRect& piece, const PixelRect& area, std::vector<PixelRect>& out) {
    const auto inside = overlap(piece, area);
    if (!inside) {
        out.push_back(piece);
        return;
    }
    const int pieceBottom = piece.y + piece.height;
    const int insideBottom = inside->y + inside->height;
    const int pieceRight = piece.x + piece.width;
    const int insideRight = inside->x + inside->width;
    if (inside->y > piece.y) out.push_back({piece.x, piece.y, piece.width, inside->y - piece.y});
    if (insideBottom < pieceBottom) out.push_back({piece.x, insideBottom, piece.width, pieceBottom - insideBottom});
    if (inside->x > piece.x) out.push_back({piece.x, inside->y, inside->x - piece.x, inside->height});
    if (insideRight < pieceRight) out.push_back({insideRight, inside->y, pieceRight - insideRight, inside->height});
}

// What is left of `rect` outside every one of `parts`.
inline std::vector<PixelRect> without(const PixelRect& rect, const std::vector<PixelRect>& parts) {
    std::vector<PixelRect> left{rect};
    for (const auto& part : parts) {
        std::vector<PixelRect> rest;
        for (const auto& piece : left) subtract(piece, part, rest);
        left = std::move(rest);
    }
    return left;
}

} // namespace orvik::helper
