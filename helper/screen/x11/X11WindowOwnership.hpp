#pragma once

#include "platform/X11Display.hpp"

#include <sys/types.h>

#include <cstddef>
#include <vector>

namespace orvik::helper {

// Whether a top-level window is to be painted black: it, or a client window a window manager's frame holds at any
// depth below it, carries our _NET_WM_PID or the CaptureExclusions property. Clients carry WM_STATE, as window
// managers mark them; the windows below a client are its application's own and are not looked at. Each window
// looked at is watched for property changes, so a marker set later is noticed. Round trips: two or three per
// window looked at. Used only on the capture thread.
class X11WindowOwnership {
public:
    // Bounds the round trips one top-level window costs (a frame has tens of decoration windows).
    static constexpr std::size_t mostWindowsSearched = 256;

    struct Marks {
        bool ownedByPid = false;
        bool marked = false;
        bool ours() const { return ownedByPid || marked; }
    };

    explicit X11WindowOwnership(X11Display& display);
    Marks of(Window top);
    // The windows inside `window`, bottom to top (one round trip).
    std::vector<Window> children(Window window);

private:
    struct Properties {
        Marks marks;
        bool isClient = false;
    };
    Properties read(Window window);
    bool carriesPid(Window window);

    X11Display& display_;
    const pid_t pid_;
};

} // namespace orvik::helper
