#pragma once

#include "platform/DisplayIdentifiers.hpp"
#include "screen/x11/PlacePicture.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace orvik::helper {

// The places our windows left that may still show their pixels, painted black until known to show something
// else. The X server paints nothing where a window left above one without a background (most toolkits' windows):
// the old pixels stay until that window's program repaints them, which a busy or stopped program does late or
// never. So a place stays black, piece by piece, until it has been repainted after the leave. A compositing
// manager paints from its own copy and fades a window out after the X server has hidden it, over as long as it is
// set to: while one runs, a place also stays black as long as the pictures looked at still show the window's
// last picture there, however faint (or, for a window of one colour, until the place has stopped changing), at
// most `compositorHold`. Times are nanoseconds of one monotonic clock.
class VacatedPlaces {
public:
    // The longest a fade is waited for: over a screen that keeps changing, a window of one colour fading out cannot
    // be told from it.
    static constexpr std::uint64_t compositorHold = 4'000'000'000;
    // A held place is looked at this often, so its black ends soon after the fade.
    static constexpr std::uint64_t lookInterval = 33'000'000;
    // A place without a pattern to follow is taken as faded once it has not changed for this long (a compositing
    // manager paints a fade in steps, tens of milliseconds apart at the slowest settings).
    static constexpr std::uint64_t stillFor = 300'000'000;
    // A fade's last steps leave the window's pattern too faint to find, yet readable once its contrast is
    // stretched: a place whose pattern is gone stays held until it has not changed for `settledFor` (the fade is
    // over), or over a screen that keeps changing for `fadeTail` after the pattern went.
    static constexpr std::uint64_t settledFor = 100'000'000;
    static constexpr std::uint64_t fadeTail = 250'000'000;
    // Past this many places, the closest are merged (a window dragged over a stopped program).
    static constexpr std::size_t mostPlaces = 8;
    // Past this many pieces still to be repainted in one place, the rectangle covering them is kept instead.
    static constexpr std::size_t mostPieces = 64;

    // The screen's bounds: what lies beyond is never shown, nor repainted.
    void setScreen(const PixelRect& screen) { screen_ = screen; }
    // `shown`: the window's last picture at that place, when one was looked at.
    // `unconfirmedOwner`: not 0 when the window that left may not be ours; its places are then kept until
    // `confirm` or `forget` tells. `hidden`: the parts of the place other windows above it hid, which never showed
    // it (black only while held).
    void left(const PixelRect& place, std::uint64_t now, bool compositing,
              std::optional<PlacePicture> shown = std::nullopt, std::uint64_t unconfirmedOwner = 0,
              const std::vector<PixelRect>& hidden = {});
    void confirm(std::uint64_t owner);
    void forget(std::uint64_t owner);
    // A picture of `area` (BGRX) read at `now`: ends the holds of the places it no longer shows the window at,
    // outside `blackedOut` (our windows shown).
    void lookedAt(const std::uint8_t* pixels, int stride, const PixelRect& area, std::uint64_t now,
                  const std::vector<PixelRect>& blackedOut = {});
    // The screen was repainted in `area` after every leave noted so far.
    void repainted(const PixelRect& area);
    // What is still to be repainted of the places known to be ours, cut to `area`.
    std::vector<PixelRect> unrepaintedIn(const PixelRect& area) const;
    // What showed where places wait was copied to `areas` (a window beneath moved): they wait for a repaint too.
    void copied(const std::vector<PixelRect>& areas);
    // Forgets the places known to show something else by `now`; true when any was forgotten or a held place is
    // due to be looked at (a new picture is wanted either way).
    bool settle(std::uint64_t now);
    // What a picture read at `now` must show black.
    std::vector<PixelRect> pieces(std::uint64_t now) const;
    bool empty() const { return places_.empty(); }
    // When a place whose pieces are all repainted comes out of its hold, or a held place is to be looked at.
    std::optional<std::uint64_t> nextSettleAt() const;

private:
    struct Place {
        PixelRect whole;                    // black while held: a fade paints over pieces already repainted
        std::vector<PixelRect> unrepainted; // black once the hold is over
        std::vector<PixelRect> hidden;      // other windows lay above it there
        std::uint64_t heldUntil = 0;
        std::optional<PlacePicture> shown;    // the window's last picture there
        std::optional<PlacePicture> previous; // the place at the previous look
        std::uint64_t stillSince = 0;
        std::uint64_t unconfirmedOwner = 0;
        std::optional<std::uint64_t> patternGoneSince; // the first look that no longer found the window's pattern
    };
    void add(Place place);
    bool anyHeld(std::uint64_t now) const;
    std::uint64_t nextLookAt() const;
    static bool fadedOut(Place& place, const PlacePicture& now, std::uint64_t time,
                         const std::vector<PixelRect>& blackedOut);
    void foldAll();
    static void merge(Place& into, const Place& other);

    std::vector<Place> places_;
    std::optional<PixelRect> screen_;
    std::uint64_t lastLook_ = 0;
    std::uint64_t lookAsked_ = 0;
};

} // namespace orvik::helper
