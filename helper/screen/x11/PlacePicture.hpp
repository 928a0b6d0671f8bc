#pragma once

#include "platform/DisplayIdentifiers.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace orvik::helper {

// The brightness of one place of the screen as a picture showed it, sampled every `step` pixels: enough to tell
// whether a later picture still shows it, however faded.
class PlacePicture {
public:
    static constexpr int step = 4;

    // The part of `place` inside `area`, in a BGRX picture of `area`; absent when none of it is.
    static std::optional<PlacePicture> of(const std::uint8_t* pixels, int stride, const PixelRect& area,
                                          const PixelRect& place);
    const PixelRect& place() const { return place_; }
    // Of one brightness: a fade of it cannot be told from what lies beneath by the pattern.
    bool flat() const;
    // Whether `later`, a picture of the same place, still shows this one's pattern, however faint: a picture
    // faded over a still screen keeps its pattern whole, one over a changing screen shares it in proportion. Only
    // outside `blackedOut`, which the picture shows black anyway.
    bool showsIn(const PlacePicture& later, const std::vector<PixelRect>& blackedOut = {}) const;
    // Whether `later` shows exactly the same as this: a still screen, composited or not, is stable to the pixel.
    bool sameAs(const PlacePicture& later) const;
    // Whether the change from `earlier` to `later`, pictures of this place, is this picture's pattern fading: over
    // a still screen each step of a fade changes the pixels in proportion to the window's, however faint they are.
    bool changesLikeIt(const PlacePicture& earlier, const PlacePicture& later) const;

private:
    PlacePicture(const PixelRect& place, std::vector<std::uint8_t> brightness)
        : place_(place), brightness_(std::move(brightness)) {}

    PixelRect place_;
    std::vector<std::uint8_t> brightness_;
};

} // namespace orvik::helper
