#include "screen/x11/VacatedPlaces.hpp"

#include "screen/x11/PixelRectMath.hpp"

#include <algorithm>

namespace orvik::helper {
namespace {

int right(const PixelRect& rect) {
    return rect.x + rect.width;
}

int bottom(const PixelRect& rect) {
    return rect.y + rect.height;
}

bool intersects(const PixelRect& a, const PixelRect& b) {
    return a.x < right(b) && b.x < right(a) && a.y < bottom(b) && b.y < bottom(a);
}

PixelRect covering(const std::vector<PixelRect>& rects) {
    int left = rects.front().x;
    int top = rects.front().y;
    int farRight = right(rects.front());
    int farBottom = bottom(rects.front());
    for (const auto& rect : rects) {
        left = std::min(left, rect.x);
        top = std::min(top, rect.y);
        farRight = std::max(farRight, right(rect));
        farBottom = std::max(farBottom, bottom(rect));
    }
    return {left, top, farRight - left, farBottom - top};
}

// What is left of `piece` outside `area`: up to four rectangles (above, below, left and right of it).
void subtract(const PixelRect& piece, const PixelRect& area, std::vector<PixelRect>& out) {
    if (!intersects(piece, area)) {
        out.push_back(piece);
        return;
    }
    const int top = std::max(piece.y, area.y);
    const int end = std::min(bottom(piece), bottom(area));
    if (area.y > piece.y) out.push_back({piece.x, piece.y, piece.width, area.y - piece.y});
    if (bottom(area) < bottom(piece)) out.push_back({piece.x, bottom(area), piece.width, bottom(piece) - bottom(area)});
    if (area.x > piece.x) out.push_back({piece.x, top, area.x - piece.x, end - top});
    if (right(area) < right(piece)) out.push_back({right(area), top, right(piece) - right(area), end - top});
}

void capPieces(std::vector<PixelRect>& pieces) {
    if (pieces.size() > VacatedPlaces::mostPieces) pieces.assign(1, covering(pieces));
}

} // namespace

void VacatedPlaces::left(const PixelRect& place, std::uint64_t now, bool compositing) {
    if (place.width <= 0 || place.height <= 0) return;
    const auto heldUntil = compositing ? now + compositorHold : now;
    for (auto& held : places_) {
        // The same place left again before anything repainted it.
        if (held.whole == place && held.unrepainted.size() == 1 && held.unrepainted.front() == place) {
            held.heldUntil = std::max(held.heldUntil, heldUntil);
            return;
        }
    }
    places_.push_back({place, {place}, heldUntil});
    if (places_.size() > mostPlaces) foldAll();
}

std::vector<PixelRect> VacatedPlaces::unrepaintedIn(const PixelRect& area) const {
    std::vector<PixelRect> result;
    for (const auto& place : places_) {
        for (const auto& piece : place.unrepainted) {
            if (auto part = overlap(piece, area)) result.push_back(*part);
        }
    }
    return result;
}

void VacatedPlaces::copied(const std::vector<PixelRect>& pieces) {
    if (pieces.empty()) return;
    Place place{covering(pieces), pieces, 0};
    capPieces(place.unrepainted);
    places_.push_back(std::move(place));
    if (places_.size() > mostPlaces) foldAll();
}

void VacatedPlaces::foldAll() {
    std::vector<PixelRect> wholes;
    Place all;
    for (const auto& place : places_) {
        wholes.push_back(place.whole);
        all.unrepainted.insert(all.unrepainted.end(), place.unrepainted.begin(), place.unrepainted.end());
        all.heldUntil = std::max(all.heldUntil, place.heldUntil);
    }
    all.whole = covering(wholes);
    capPieces(all.unrepainted);
    places_.clear();
    places_.push_back(std::move(all));
}

void VacatedPlaces::repainted(const PixelRect& area) {
    std::vector<PixelRect> left;
    for (auto& place : places_) {
        left.clear();
        for (const auto& piece : place.unrepainted) subtract(piece, area, left);
        capPieces(left);
        place.unrepainted.swap(left);
    }
}

bool VacatedPlaces::settle(std::uint64_t now) {
    const auto before = places_.size();
    std::erase_if(places_, [now](const Place& place) { return place.unrepainted.empty() && now >= place.heldUntil; });
    return places_.size() != before;
}

std::vector<PixelRect> VacatedPlaces::pieces(std::uint64_t now) const {
    std::vector<PixelRect> result;
    for (const auto& place : places_) {
        if (now < place.heldUntil) {
            result.push_back(place.whole);
        } else {
            result.insert(result.end(), place.unrepainted.begin(), place.unrepainted.end());
        }
    }
    return result;
}

std::optional<std::uint64_t> VacatedPlaces::nextSettleAt() const {
    std::optional<std::uint64_t> next;
    for (const auto& place : places_) {
        if (place.unrepainted.empty()) next = std::min(next.value_or(place.heldUntil), place.heldUntil);
    }
    return next;
}

} // namespace orvik::helper
