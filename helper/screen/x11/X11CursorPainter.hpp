#pragma once

#include "platform/DisplayIdentifiers.hpp"
#include "platform/X11Display.hpp"

#include <cstdint>

namespace orvik::helper {

// Draws the pointer into a captured picture: the X server leaves it out of the framebuffer it hands out, so
// XFixes gives us its image (premultiplied ARGB) and where it is.
class X11CursorPainter {
public:
    // `pixels` is a BGRX picture of `area` (root-window pixels), `stride` bytes a row.
    static void paint(X11Display& display, std::uint8_t* pixels, int stride, const PixelRect& area);
    // Blends one premultiplied ARGB pixel over one BGRX pixel.
    static void blend(std::uint32_t argb, std::uint8_t* bgrx);
};

} // namespace orvik::helper
