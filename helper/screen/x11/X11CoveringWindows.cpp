#include "screen/x11/X11CoveringWindows.hpp"

#include "screen/x11/PixelRectMath.hpp"

#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <cstring>
#include <memory>

namespace orvik::helper {
namespace {

constexpr std::uint32_t colour = 0x00FFFFFF;
constexpr std::uint32_t opaque = 0xFF000000;

std::uint32_t pixelAt(const std::uint8_t* row, int x) {
    std::uint32_t value = 0;
    std::memcpy(&value, row + static_cast<std::ptrdiff_t>(x) * 4, sizeof value);
    return value;
}

struct ImageDeleter {
    void operator()(XImage* image) const { XDestroyImage(image); }
};

// Pixels whose bytes are blue, green, red and then unused (depth 24) or alpha (depth 32), as the root's are.
bool isBgrx(const XImage& image) {
    return image.bits_per_pixel == 32 && image.byte_order == LSBFirst && image.red_mask == 0xFF0000 &&
           image.green_mask == 0xFF00 && image.blue_mask == 0xFF;
}

} // namespace

X11CoveringWindows::X11CoveringWindows(X11Display& display) : display_(display) {
    int event = 0;
    int error = 0;
    if (XShapeQueryExtension(display_.get(), &event, &error)) shapeEvent_ = event;
}

void X11CoveringWindows::handle(const XEvent& event) {
    if (shapeEvent_ && event.type == *shapeEvent_ + ShapeNotify) {
        const auto& shape = reinterpret_cast<const XShapeEvent&>(event);
        auto known = known_.find(shape.window);
        if (known != known_.end() && shape.kind == ShapeBounding) known->second.shaped = shape.shaped;
        return;
    }
    if (event.type == ConfigureNotify) {
        if (auto known = known_.find(event.xconfigure.window); known != known_.end())
            known->second.border = event.xconfigure.border_width;
    }
}

std::optional<PixelRect> X11CoveringWindows::hidden(Window window, const PixelRect& place, const PixelRect& ours,
                                                    const std::uint8_t* pixels, int stride, const PixelRect& area,
                                                    bool compositing) {
    auto part = overlap(place, ours);
    if (part) part = overlap(*part, area);
    if (!part) return std::nullopt;
    auto known = known_.find(window);
    if (known == known_.end()) {
        // Looked at after the picture was read: it may have changed since, so it counts from the next one.
        if (auto looks = looksOf(window)) known_.emplace(window, *looks);
        return std::nullopt;
    }
    const auto& looks = known->second;
    // A shape lets what lies beneath show through its holes.
    if (!looks.draws || looks.shaped) return std::nullopt;
    if (compositing && !showsItsOwnPixels(window, looks, place, *part, pixels, stride, area)) return std::nullopt;
    return part;
}

std::optional<X11CoveringWindows::Looks> X11CoveringWindows::looksOf(Window window) {
    Display* display = display_.get();
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes)) return std::nullopt;
    Looks looks{attributes.c_class == InputOutput, false, attributes.border_width};
    if (!shapeEvent_) return looks;
    // Told of every later change before it is drawn, so the shape read now stays known.
    XShapeSelectInput(display, window, ShapeNotifyMask);
    Bool boundingShaped = False;
    Bool clipShaped = False;
    int x = 0;
    int y = 0;
    int clipX = 0;
    int clipY = 0;
    unsigned width = 0;
    unsigned height = 0;
    unsigned clipWidth = 0;
    unsigned clipHeight = 0;
    if (!XShapeQueryExtents(display, window, &boundingShaped, &x, &y, &width, &height, &clipShaped, &clipX, &clipY,
                            &clipWidth, &clipHeight)) {
        return std::nullopt;
    }
    looks.shaped = boundingShaped != False;
    return looks;
}

// Whether the picture shows, across `part`, exactly the pixels `window` holds there, all opaque: a compositing
// manager keeps each window's own picture, which the server hands out for it even where it is covered.
bool X11CoveringWindows::showsItsOwnPixels(Window window, const Looks& looks, const PixelRect& place,
                                           const PixelRect& part, const std::uint8_t* pixels, int stride,
                                           const PixelRect& area) {
    const int x = part.x - place.x - looks.border;
    const int y = part.y - place.y - looks.border;
    std::unique_ptr<XImage, ImageDeleter> own(XGetImage(display_.get(), window, x, y, static_cast<unsigned>(part.width),
                                                        static_cast<unsigned>(part.height), AllPlanes, ZPixmap));
    if (!own || !isBgrx(*own)) return false;
    const std::uint32_t alpha = own->depth == 32 ? opaque : 0;
    for (int row = 0; row < part.height; ++row) {
        const auto* shown = pixels + static_cast<std::ptrdiff_t>(part.y - area.y + row) * stride +
                            static_cast<std::ptrdiff_t>(part.x - area.x) * 4;
        const auto* held =
            reinterpret_cast<const std::uint8_t*>(own->data) + static_cast<std::ptrdiff_t>(row) * own->bytes_per_line;
        for (int column = 0; column < part.width; ++column) {
            const auto heldPixel = pixelAt(held, column);
            if ((heldPixel & alpha) != alpha || ((pixelAt(shown, column) ^ heldPixel) & colour) != 0) return false;
        }
    }
    return true;
}

} // namespace orvik::helper
