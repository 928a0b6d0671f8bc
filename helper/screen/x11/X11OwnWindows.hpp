#pragma once

#include "platform/DisplayIdentifiers.hpp"
#include "platform/X11Display.hpp"
#include "screen/x11/WindowTrail.hpp"

#include <sys/types.h>

#include <unordered_map>
#include <vector>

namespace orvik::helper {

// Finds the windows a capture paints black, and every place they held since the last picture: top-level windows
// (or the client windows inside a window manager's frames) whose _NET_WM_PID is our pid, and those of any process
// that carry the CaptureExclusions window property. Which windows those are is read from the server (round trips)
// after a window appeared, was reparented or changed its marker; where they are follows the root's structure events
// (the owner passes every event to `handle`). The server sends events in order with replies, so the events read
// with a picture tell of every move made before the server read it. Used only on the capture thread.
class X11OwnWindows {
public:
    explicit X11OwnWindows(X11Display& display);

    // Takes note of the root window's structure events (map, unmap, move, resize, create, destroy, reparent).
    void handle(const XEvent& event);
    // True when a window appeared, was reparented or changed its marker since the last `refresh`: moves alone
    // keep the list.
    bool listStale() const { return stale_; }
    // Reads which top-level windows are ours and where the viewable ones are.
    void refresh();
    // Every place our viewable windows held since `pictureTaken`, in root-window pixels, frames included; a window
    // hidden meanwhile keeps its places until then.
    std::vector<PixelRect> places() const;
    // Forgets the places held before now.
    void pictureTaken();

private:
    struct TopLevel {
        bool ownedByPid = false;
        bool marked = false; // carries the CaptureExclusions property
    };
    TopLevel describe(Window window);
    void moved(Window window, const PixelRect& place);
    void hidden(Window window);
    bool ownedByPid(Window window);
    bool carriesMarker(Window window);

    X11Display& display_;
    const pid_t pid_;
    bool stale_ = true;
    std::unordered_map<Window, TopLevel> known_;
    std::unordered_map<Window, PixelRect> shown_; // our viewable top-level windows, where they are
    std::unordered_map<Window, WindowTrail> trails_;
};

} // namespace orvik::helper
