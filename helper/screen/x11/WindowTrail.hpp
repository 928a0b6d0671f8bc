#pragma once

#include "platform/DisplayIdentifiers.hpp"

#include <cstddef>
#include <vector>

namespace orvik::helper {

// Every place one window held over a while (since it was mapped, until it is looked at), so a picture is painted
// black wherever it may show the window: the distinct rectangles, or, past `mostPlaces` of them, the one rectangle
// that covers them all (a window dragged fast is blacked out along its path rather than place by place).
class WindowTrail {
public:
    static constexpr std::size_t mostPlaces = 8;

    explicit WindowTrail(const PixelRect& place) : places_{place} {}
    void add(const PixelRect& place);
    const std::vector<PixelRect>& places() const { return places_; }

private:
    std::vector<PixelRect> places_;
};

} // namespace orvik::helper
