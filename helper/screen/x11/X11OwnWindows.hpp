#pragma once

#include "platform/DisplayIdentifiers.hpp"
#include "platform/X11Display.hpp"
#include "screen/x11/HiddenParts.hpp"
#include "screen/x11/MoveCopy.hpp"
#include "screen/x11/VacatedPlaces.hpp"
#include "screen/x11/WindowStack.hpp"
#include "screen/x11/X11CoveringWindows.hpp"
#include "screen/x11/X11RepaintWatch.hpp"
#include "screen/x11/X11WindowOwnership.hpp"

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace orvik::helper {

// Finds the windows a capture paints black, and the places they left that may still show them: top-level windows
// (or the client windows inside a window manager's frames) whose _NET_WM_PID is our pid, and those of any process
// that carry the CaptureExclusions window property. Which windows those are is read from the server (round trips)
// after a window appeared, was reparented or changed its marker; where they are, and when they leave a place,
// follows the root's structure events; whether a place left was repainted since, the drawings reported while one
// of ours is shown or a place is still black (the owner passes every event to `handle`, in order). Used only on
// the capture thread. Times are nanoseconds of one monotonic clock.
class X11OwnWindows {
public:
    explicit X11OwnWindows(X11Display& display);

    // Takes note of the root window's structure events (map, unmap, move, resize, create, destroy, reparent) and
    // of drawings.
    void handle(const XEvent& event, std::uint64_t now);
    // True when a window appeared, was reparented or changed its marker since the last `refresh`: moves alone
    // keep the list.
    bool listStale() const { return stale_; }
    // Reads which top-level windows are ours and where the viewable ones are.
    void refresh(std::uint64_t now);
    // Where a picture read at `now` must be black, in root-window pixels: our viewable windows, frames included,
    // but for what windows above them hide in it (as the last `lookedAt` found), and the places they left that may
    // still show them.
    std::vector<PixelRect> places(std::uint64_t now) const;
    // A picture of `area` (BGRX) read at `now`, before it is painted black: what a compositing manager still shows
    // of a window gone, the last picture of each window of ours shown, to tell its fade by, and which parts of
    // ours other windows hide in it.
    void lookedAt(const std::uint8_t* pixels, int stride, const PixelRect& area, std::uint64_t now);
    // Forgets the places known to show something else by `now`; true when any was, or a place is to be looked at
    // (a new picture is wanted).
    bool settle(std::uint64_t now);
    // When a place left may next be known to show something else without a drawing.
    std::optional<std::uint64_t> nextSettleAt() const { return vacated_.nextSettleAt(); }

private:
    struct Place {
        PixelRect rect;
        bool viewable = false;
    };
    void moved(Window window, const PixelRect& place, std::uint64_t now);
    void drew(const X11RepaintWatch::Drawing& drawing);
    void finishCopy();
    void hidden(Window window, std::uint64_t now);
    void leave(const PixelRect& place, std::uint64_t now, Window window = None);
    std::optional<Place> placeOf(Window window);
    void followRepaints();
    void restack(const XEvent& event);
    void findHidden(Window window, const PixelRect& place, const std::uint8_t* pixels, int stride,
                    const PixelRect& area);

    X11Display& display_;
    X11WindowOwnership ownership_;
    X11RepaintWatch repaints_;
    bool stale_ = true;
    std::unordered_map<Window, X11WindowOwnership::Marks> known_;
    std::unordered_set<Window> reread_;           // to be looked at afresh
    std::unordered_map<Window, PixelRect> shown_; // our viewable top-level windows, where they are
    // Their last pictures while a compositing manager runs, by window.
    std::unordered_map<Window, PlacePicture> pictures_;
    std::unordered_map<Window, PixelRect> geometry_; // every top-level window's place, as far as events told
    std::unordered_set<Window> mapped_;              // the top-level windows shown, as far as events told
    // The server's copy of a window that moved over a place still waiting for a repaint, until it is reported.
    std::optional<MoveCopy> copy_;
    // The windows mapped since the last `refresh`: the places they leave are kept as possibly ours until known.
    std::unordered_set<Window> mappedUnseen_;
    // The top-level windows unmapped in the order of the events handled (created and not yet mapped, or unmapped
    // since): a look reads the server's newer state while older events still wait, and a move they tell of a window
    // then unmapped showed nothing, so it leaves nothing.
    std::unordered_set<Window> unmappedInOrder_;
    VacatedPlaces vacated_;
    // The top-level windows' stacking, as listed by the request `stackedBy_` and told by the events after it.
    WindowStack stack_;
    unsigned long stackedBy_ = 0;
    X11CoveringWindows covering_;
    HiddenParts hidden_;
};

} // namespace orvik::helper
