#include "X11ClipboardReader.hpp"

#include <X11/Xatom.h>
#include <poll.h>

#include <stdexcept>

namespace orvik::test {

namespace {

// More than any text the tests paste, in 32-bit units as XGetWindowProperty counts.
constexpr long maxTextUnits = 1 << 16;

} // namespace

X11ClipboardReader::X11ClipboardReader() {
    display_ = XOpenDisplay(nullptr);
    if (!display_) throw std::runtime_error("no X display");
    window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
    clipboard_ = XInternAtom(display_, "CLIPBOARD", False);
    utf8_ = XInternAtom(display_, "UTF8_STRING", False);
    property_ = XInternAtom(display_, "ORVIK_TEST_PASTE", False);
    XSync(display_, False);
}

X11ClipboardReader::~X11ClipboardReader() {
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
}

std::optional<std::string> X11ClipboardReader::text(std::chrono::milliseconds limit) {
    XDeleteProperty(display_, window_, property_);
    XConvertSelection(display_, clipboard_, utf8_, property_, window_, CurrentTime);
    XFlush(display_);

    const auto deadline = std::chrono::steady_clock::now() + limit;
    XEvent event;
    while (!XCheckTypedWindowEvent(display_, window_, SelectionNotify, &event)) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd descriptor{ConnectionNumber(display_), POLLIN, 0};
        ::poll(&descriptor, 1, static_cast<int>(left.count()));
    }
    if (event.xselection.property == None) return std::nullopt;

    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window_, property_, 0, maxTextUnits, True, AnyPropertyType, &type, &format, &count,
                           &remaining, &data) != Success) {
        return std::nullopt;
    }
    std::optional<std::string> text;
    if (type == utf8_ && format == 8) text = std::string(reinterpret_cast<const char*>(data), count);
    if (data) XFree(data);
    return text;
}

} // namespace orvik::test
