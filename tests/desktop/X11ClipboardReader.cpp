#include "X11ClipboardReader.hpp"

#include <X11/Xatom.h>
#include <poll.h>

#include <stdexcept>

namespace orvik::test {

namespace {

// More than any text the tests paste, in 32-bit units as XGetWindowProperty counts.
constexpr long maxTextUnits = 1 << 16;

} // namespace

X11ClipboardReader::X11ClipboardReader(const std::string& selection) {
    display_ = XOpenDisplay(nullptr);
    if (!display_) throw std::runtime_error("no X display");
    window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
    selection_ = XInternAtom(display_, selection.c_str(), False);
    utf8_ = XInternAtom(display_, "UTF8_STRING", False);
    property_ = XInternAtom(display_, "ORVIK_TEST_PASTE", False);
    XSync(display_, False);
}

X11ClipboardReader::~X11ClipboardReader() {
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
}

std::optional<std::string> X11ClipboardReader::text(std::chrono::milliseconds limit) {
    auto answer = convert(utf8_, limit);
    if (!answer || answer->type != utf8_ || answer->format != 8) return std::nullopt;
    return answer->bytes;
}

std::optional<std::string> X11ClipboardReader::data(const std::string& target, std::chrono::milliseconds limit) {
    auto answer = convert(XInternAtom(display_, target.c_str(), False), limit);
    if (!answer || answer->format != 8) return std::nullopt;
    return answer->bytes;
}

std::optional<X11ClipboardReader::Answer> X11ClipboardReader::convert(Atom target, std::chrono::milliseconds limit) {
    XDeleteProperty(display_, window_, property_);
    XConvertSelection(display_, selection_, target, property_, window_, CurrentTime);
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

    Answer answer;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window_, property_, 0, maxTextUnits, True, AnyPropertyType, &answer.type,
                           &answer.format, &count, &remaining, &data) != Success) {
        return std::nullopt;
    }
    if (answer.format == 8 && data) answer.bytes.assign(reinterpret_cast<const char*>(data), count);
    if (data) XFree(data);
    if (answer.type == None) return std::nullopt;
    return answer;
}

} // namespace orvik::test
