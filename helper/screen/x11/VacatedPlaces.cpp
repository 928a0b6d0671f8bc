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

long area(const PixelRect& rect) {
    return static_cast<long>(rect.width) * rect.height;
}

// How much the rectangle covering both reaches beyond them.
long waste(const PixelRect& a, const PixelRect& b) {
    const auto both = overlap(a, b);
    return area(covering({a, b})) - area(a) - area(b) + (both ? area(*both) : 0);
}

void capPieces(std::vector<PixelRect>& pieces) {
    if (pieces.size() > VacatedPlaces::mostPieces) pieces.assign(1, covering(pieces));
}

} // namespace

void VacatedPlaces::left(const PixelRect& place, std::uint64_t now, bool compositing, std::optional<PlacePicture> shown,
                         std::uint64_t unconfirmedOwner, const std::vector<PixelRect>& hidden) {
    const auto onScreen = screen_ ? overlap(place, *screen_) : std::optional(place);
    if (!onScreen || onScreen->width <= 0 || onScreen->height <= 0) return;
    const auto heldUntil = compositing ? now + compositorHold : now;
    auto shownParts = without(*onScreen, hidden);
    capPieces(shownParts);
    for (auto& held : places_) {
        // The same place left again: all of it waits for a repaint again (a window jumping to and fro).
        if (held.whole == *onScreen && held.unconfirmedOwner == unconfirmedOwner) {
            held.unrepainted = std::move(shownParts);
            held.hidden = hidden;
            held.heldUntil = std::max(held.heldUntil, heldUntil);
            held.previous.reset();
            held.stillSince = now;
            held.patternGoneSince.reset();
            if (shown) held.shown = std::move(shown);
            return;
        }
    }
    add({*onScreen, std::move(shownParts), hidden, heldUntil, std::move(shown), std::nullopt, now, unconfirmedOwner,
         std::nullopt});
}

void VacatedPlaces::confirm(std::uint64_t owner) {
    for (auto& place : places_) {
        if (place.unconfirmedOwner == owner) place.unconfirmedOwner = 0;
    }
}

void VacatedPlaces::forget(std::uint64_t owner) {
    std::erase_if(places_, [owner](const Place& place) { return place.unconfirmedOwner == owner; });
}

void VacatedPlaces::add(Place place) {
    places_.push_back(std::move(place));
    if (places_.size() > mostPlaces) foldAll();
}

std::vector<PixelRect> VacatedPlaces::unrepaintedIn(const PixelRect& area) const {
    std::vector<PixelRect> result;
    for (const auto& place : places_) {
        if (place.unconfirmedOwner != 0) continue;
        for (const auto& waiting : place.unrepainted) {
            if (auto part = overlap(waiting, area)) result.push_back(*part);
        }
    }
    return result;
}

void VacatedPlaces::copied(const std::vector<PixelRect>& areas) {
    std::vector<PixelRect> onScreen;
    for (const auto& copy : areas) {
        if (auto part = screen_ ? overlap(copy, *screen_) : std::optional(copy)) onScreen.push_back(*part);
    }
    if (onScreen.empty()) return;
    Place place{covering(onScreen), onScreen, {}, 0, std::nullopt, std::nullopt, 0, 0, std::nullopt};
    capPieces(place.unrepainted);
    add(std::move(place));
}

// Merges places two by two until few enough are left, each time the two whose covering rectangle reaches least
// beyond them (a window dragged is kept as stretches of its path, not as one rectangle around it); those not yet
// known to be ours apart, so they can still be forgotten.
void VacatedPlaces::foldAll() {
    while (places_.size() > mostPlaces) {
        std::optional<std::pair<std::size_t, std::size_t>> closest;
        long least = 0;
        for (std::size_t first = 0; first < places_.size(); ++first) {
            for (std::size_t second = first + 1; second < places_.size(); ++second) {
                if (places_[first].unconfirmedOwner != places_[second].unconfirmedOwner) continue;
                const long beyond = waste(places_[first].whole, places_[second].whole);
                if (!closest || beyond < least) {
                    closest.emplace(first, second);
                    least = beyond;
                }
            }
        }
        if (!closest) return;
        merge(places_[closest->first], places_[closest->second]);
        places_.erase(places_.begin() + static_cast<std::ptrdiff_t>(closest->second));
    }
}

void VacatedPlaces::merge(Place& into, const Place& other) {
    into.shown.reset(); // a picture of one place of several
    into.hidden.clear();
    into.whole = covering({into.whole, other.whole});
    into.unrepainted.insert(into.unrepainted.end(), other.unrepainted.begin(), other.unrepainted.end());
    into.heldUntil = std::max(into.heldUntil, other.heldUntil);
    into.stillSince = std::max(into.stillSince, other.stillSince);
    capPieces(into.unrepainted);
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

void VacatedPlaces::lookedAt(const std::uint8_t* pixels, int stride, const PixelRect& area, std::uint64_t now,
                             const std::vector<PixelRect>& blackedOut) {
    lastLook_ = now;
    for (auto& place : places_) {
        if (now >= place.heldUntil) continue;
        auto current = PlacePicture::of(pixels, stride, area, place.whole);
        if (!current) continue; // out of the picture: a later region may show it while it still fades
        if (fadedOut(place, *current, now, blackedOut)) place.heldUntil = now;
        place.previous = std::move(current);
    }
}

// Whether the picture `now`, read at `time`, shows no more of the window that left `place`.
bool VacatedPlaces::fadedOut(Place& place, const PlacePicture& now, std::uint64_t time,
                             const std::vector<PixelRect>& blackedOut) {
    if (!place.previous || !place.previous->sameAs(now)) place.stillSince = time;
    if (place.shown && !place.shown->flat() && place.shown->place() == now.place()) {
        // Where other windows hid ours, their own pattern stays: it tells nothing of the fade.
        auto unseen = blackedOut;
        unseen.insert(unseen.end(), place.hidden.begin(), place.hidden.end());
        if (place.shown->showsIn(now, unseen) || (place.previous && place.shown->changesLikeIt(*place.previous, now))) {
            place.patternGoneSince.reset();
            return false;
        }
        if (!place.patternGoneSince) place.patternGoneSince = time;
        return time - place.stillSince >= settledFor || time - *place.patternGoneSince >= fadeTail;
    }
    return time - place.stillSince >= stillFor;
}

bool VacatedPlaces::anyHeld(std::uint64_t now) const {
    return std::any_of(places_.begin(), places_.end(), [now](const Place& place) { return now < place.heldUntil; });
}

bool VacatedPlaces::settle(std::uint64_t now) {
    const auto before = places_.size();
    std::erase_if(places_, [now](const Place& place) { return place.unrepainted.empty() && now >= place.heldUntil; });
    if (places_.size() != before) return true;
    if (!anyHeld(now) || now < nextLookAt()) return false;
    lookAsked_ = now; // once: the picture asked for may be a frame interval away
    return true;
}

std::uint64_t VacatedPlaces::nextLookAt() const {
    return std::max(lastLook_, lookAsked_) + lookInterval;
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
        if (nextLookAt() < place.heldUntil) next = std::min(next.value_or(nextLookAt()), nextLookAt());
    }
    return next;
}

} // namespace orvik::helper
