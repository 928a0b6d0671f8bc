#pragma once

#include "platform/DisplayIdentifiers.hpp"
#include "platform/X11Display.hpp"

#include <cstdint>
#include <optional>
#include <unordered_map>

namespace orvik::helper {

// Tells which part of one of our windows another window stacked above it hides in a picture, so that part shows
// the other window instead of black. Without a compositing manager the server draws every window opaque within
// its shape: a window above hides what it covers unless it has a shape of its own (followed by ShapeNotify, in
// order with the other events; what shows through its holes is not worked out) or draws nothing (InputOnly). A
// compositing manager may draw any window translucent, fading in or through its own rules: there, a covered part
// is taken as hidden only when the picture shows exactly the other window's own pixels across it, opaque, so
// nothing of ours can be seen through.
// A window is trusted from the picture after the one it was first looked at for. Used only on the capture thread.
class X11CoveringWindows {
public:
    explicit X11CoveringWindows(X11Display& display);

    // Notes shape and border changes of the windows looked at.
    void handle(const XEvent& event);
    void forget(Window window) { known_.erase(window); }
    // The part of `ours` that `window` (at `place`, border included, stacked above it) hides in `pixels`, a
    // BGRX picture of `area` read just before.
    std::optional<PixelRect> hidden(Window window, const PixelRect& place, const PixelRect& ours,
                                    const std::uint8_t* pixels, int stride, const PixelRect& area, bool compositing);

private:
    struct Looks {
        bool draws = false;
        bool shaped = false;
        int border = 0;
    };
    std::optional<Looks> looksOf(Window window);
    bool showsItsOwnPixels(Window window, const Looks& looks, const PixelRect& place, const PixelRect& part,
                           const std::uint8_t* pixels, int stride, const PixelRect& area);

    X11Display& display_;
    std::optional<int> shapeEvent_;
    std::unordered_map<Window, Looks> known_;
};

} // namespace orvik::helper
