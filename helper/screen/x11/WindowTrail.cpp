#include "screen/x11/WindowTrail.hpp"

#include <algorithm>

namespace orvik::helper {
namespace {

bool contains(const PixelRect& outer, const PixelRect& inner) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

PixelRect covering(const PixelRect& a, const PixelRect& b) {
    const int left = std::min(a.x, b.x);
    const int top = std::min(a.y, b.y);
    const int right = std::max(a.x + a.width, b.x + b.width);
    const int bottom = std::max(a.y + a.height, b.y + b.height);
    return {left, top, right - left, bottom - top};
}

} // namespace

void WindowTrail::add(const PixelRect& place) {
    if (std::any_of(places_.begin(), places_.end(), [&](const PixelRect& held) { return contains(held, place); })) {
        return;
    }
    if (places_.size() < mostPlaces) {
        places_.push_back(place);
        return;
    }
    PixelRect all = place;
    for (const auto& held : places_) all = covering(all, held);
    places_.assign(1, all);
}

} // namespace orvik::helper
