#pragma once

#include "platform/DisplayIdentifiers.hpp"
#include "platform/X11Display.hpp"

#include <sys/types.h>

#include <unordered_map>
#include <vector>

namespace orvik::helper {

// Finds the windows a capture paints black: top-level windows (or the client windows inside a window manager's
// frames) whose _NET_WM_PID is our pid, and those of any process that carry the CaptureExclusions window property.
// The answer is cached until the window tree or a window's marker changes (the owner passes every event to
// `handle`). Used only on the capture thread.
class X11OwnWindows {
public:
    explicit X11OwnWindows(X11Display& display);

    // Takes note of the root window's structure events (map, unmap, move, resize, create, destroy).
    void handle(const XEvent& event);
    // Where our viewable windows are, in root-window pixels, frames included.
    const std::vector<PixelRect>& rects();

private:
    struct TopLevel {
        bool ownedByPid = false;
        bool marked = false; // carries the CaptureExclusions property
    };
    void refresh();
    TopLevel describe(Window window);
    bool ownedByPid(Window window);
    bool carriesMarker(Window window);

    X11Display& display_;
    const pid_t pid_;
    bool stale_ = true;
    std::unordered_map<Window, TopLevel> known_;
    std::vector<PixelRect> rects_;
};

} // namespace orvik::helper
