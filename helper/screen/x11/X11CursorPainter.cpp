#include "screen/x11/X11CursorPainter.hpp"

#include <X11/extensions/Xfixes.h>

#include <algorithm>

namespace orvik::helper {
namespace {

constexpr unsigned opaque = 255;

std::uint8_t over(unsigned source, unsigned target, unsigned alpha) {
    return static_cast<std::uint8_t>(std::min(opaque, source + (target * (opaque - alpha) + opaque / 2) / opaque));
}

} // namespace

void X11CursorPainter::blend(std::uint32_t argb, std::uint8_t* bgrx) {
    const unsigned alpha = argb >> 24;
    if (alpha == 0) return;
    bgrx[0] = over(argb & 0xFFU, bgrx[0], alpha);
    bgrx[1] = over((argb >> 8) & 0xFFU, bgrx[1], alpha);
    bgrx[2] = over((argb >> 16) & 0xFFU, bgrx[2], alpha);
}

void X11CursorPainter::paint(X11Display& display, std::uint8_t* pixels, int stride, const PixelRect& area) {
    if (display.isBroken()) return;
    XFixesCursorImage* cursor = XFixesGetCursorImage(display.get());
    if (!cursor) return;
    const int left = cursor->x - cursor->xhot - area.x;
    const int top = cursor->y - cursor->yhot - area.y;
    const int width = cursor->width;
    const int height = cursor->height;
    for (int row = std::max(0, -top); row < height && top + row < area.height; ++row) {
        std::uint8_t* line = pixels + static_cast<std::ptrdiff_t>(top + row) * stride;
        for (int column = std::max(0, -left); column < width && left + column < area.width; ++column) {
            // XFixes hands each 32-bit pixel in an unsigned long.
            const auto argb = static_cast<std::uint32_t>(cursor->pixels[row * width + column]);
            blend(argb, line + static_cast<std::ptrdiff_t>(left + column) * 4);
        }
    }
    XFree(cursor);
}

} // namespace orvik::helper
