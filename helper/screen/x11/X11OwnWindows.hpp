#pragma once

#include "platform/DisplayIdentifiers.hpp"
#include "platform/X11Display.hpp"

#include <sys/types.h>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace orvik::helper {

// Finds the windows of this process on the screen, so a capture can paint them black: top-level windows (or the
// client windows inside a window manager's frames) whose _NET_WM_PID is our pid, that CaptureExclusions lists or
// that carry its window property (in any process). The answer is cached until the window tree changes (the owner passes
// every event to `handle`). Used only on the capture thread.
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
        bool marked = false;         // carries the CaptureExclusions property
        std::vector<Window> clients; // the windows inside a frame, for registered client windows
    };
    void refresh();
    TopLevel describe(Window window);
    bool ownedByPid(Window window);
    bool carriesMarker(Window window);
    bool listed(Window top, const TopLevel& known) const;

    X11Display& display_;
    const pid_t pid_;
    bool stale_ = true;
    std::uint64_t exclusionsSeen_ = 0;
    std::unordered_map<Window, TopLevel> known_;
    std::vector<PixelRect> rects_;
};

} // namespace orvik::helper
