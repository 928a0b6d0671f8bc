#pragma once

#include "platform/DisplayIdentifiers.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace orvik::helper {

// The places our windows left that may still show their pixels, painted black until known to show something
// else. The X server paints nothing where a window left above one without a background (most toolkits' windows):
// the old pixels stay until that window's program repaints them, which a busy or stopped program does late or
// never. So a place stays black, piece by piece, until it has been repainted after the leave. A compositing
// manager paints from its own copy and fades a window out after the X server has hidden it: while one runs, a
// place also stays black for `compositorHold` after the leave. Times are nanoseconds of one monotonic clock.
class VacatedPlaces {
public:
    // Longer than the fades of the common compositing managers (about 0.35 s at their usual settings).
    static constexpr std::uint64_t compositorHold = 500'000'000;
    // Past this many places, all are kept as one (a window dragged over a stopped program).
    static constexpr std::size_t mostPlaces = 8;
    // Past this many pieces still to be repainted in one place, the rectangle covering them is kept instead.
    static constexpr std::size_t mostPieces = 64;

    void left(const PixelRect& place, std::uint64_t now, bool compositing);
    // The screen was repainted in `area` after every leave noted so far.
    void repainted(const PixelRect& area);
    // The pieces still to be repainted, cut to `area`.
    std::vector<PixelRect> unrepaintedIn(const PixelRect& area) const;
    // What showed at some pieces was copied to `pieces` (a window beneath moved): they wait for a repaint too.
    void copied(const std::vector<PixelRect>& pieces);
    // Forgets the places known to show something else by `now`; true when any was forgotten.
    bool settle(std::uint64_t now);
    // What a picture read at `now` must show black.
    std::vector<PixelRect> pieces(std::uint64_t now) const;
    bool empty() const { return places_.empty(); }
    // When a place whose pieces are all repainted comes out of its hold.
    std::optional<std::uint64_t> nextSettleAt() const;

private:
    struct Place {
        PixelRect whole;                    // black while held: a fade paints over pieces already repainted
        std::vector<PixelRect> unrepainted; // black once the hold is over
        std::uint64_t heldUntil = 0;
    };
    void foldAll();

    std::vector<Place> places_;
};

} // namespace orvik::helper
