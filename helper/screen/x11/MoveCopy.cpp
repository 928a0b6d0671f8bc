#include "screen/x11/MoveCopy.hpp"

#include "screen/x11/PixelRectMath.hpp"

namespace orvik::helper {

void MoveCopy::add(const PixelRect& drawn, const VacatedPlaces& places) {
    drawn_.push_back(drawn);
    isCopy_ = isCopy_ && encloses(to_, drawn);
    if (!isCopy_) return;
    const int dx = to_.x - from_.x;
    const int dy = to_.y - from_.y;
    // Where the copied pixels came from: the part of the window that showed at its old place.
    for (const auto& waiting : places.unrepaintedIn(shifted(drawn, -dx, -dy))) {
        carried_.push_back(shifted(waiting, dx, dy));
    }
}

void MoveCopy::finish(VacatedPlaces& places) {
    for (const auto& drawn : drawn_) places.repainted(drawn);
    if (isCopy_ && !carried_.empty()) places.copied(carried_);
    drawn_.clear();
    carried_.clear();
}

} // namespace orvik::helper
