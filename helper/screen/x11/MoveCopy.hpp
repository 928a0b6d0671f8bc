#pragma once

#include "platform/DisplayIdentifiers.hpp"
#include "screen/x11/VacatedPlaces.hpp"

#include <vector>

namespace orvik::helper {

// The copy the X server makes when it moves a window without a compositing manager: the window's pixels on the
// screen go with it, the pixels our windows left on it included, reported as one drawing (XDamage rectangles until
// one without `more`) right after the window's ConfigureNotify. That drawing shows what the window showed, not a
// repaint: the places waiting on the window are carried along with it (they still wait at the new place), while
// whatever the copy covered elsewhere is repainted by it. A report reaching beyond the new place is no copy (the
// window was hidden or covered, so nothing moved): it is only a drawing.
class MoveCopy {
public:
    MoveCopy(const PixelRect& from, const PixelRect& to) : from_(from), to_(to) {}

    // One rectangle of the report that follows the move; nothing changes in `places` until `finish`.
    void add(const PixelRect& drawn, const VacatedPlaces& places);
    // Applies the report to `places`: the drawing, then the places carried along.
    void finish(VacatedPlaces& places);
    // What must be black until the report is finished, besides what `places` keeps black.
    const std::vector<PixelRect>& carried() const { return carried_; }

private:
    PixelRect from_;
    PixelRect to_;
    bool isCopy_ = true;
    std::vector<PixelRect> drawn_;
    std::vector<PixelRect> carried_;
};

} // namespace orvik::helper
