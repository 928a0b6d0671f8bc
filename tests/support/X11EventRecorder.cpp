#include "X11EventRecorder.hpp"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <stdexcept>

namespace orvik::helper::x11test {
namespace {

void appendUtf8(std::string& out, char32_t character) {
    if (character < 0x80) {
        out += static_cast<char>(character);
    } else if (character < 0x800) {
        out += static_cast<char>(0xC0 | (character >> 6));
        out += static_cast<char>(0x80 | (character & 0x3F));
    } else if (character < 0x10000) {
        out += static_cast<char>(0xE0 | (character >> 12));
        out += static_cast<char>(0x80 | ((character >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (character & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (character >> 18));
        out += static_cast<char>(0x80 | ((character >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((character >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (character & 0x3F));
    }
}

} // namespace

X11EventRecorder::X11EventRecorder() {
    display_ = XOpenDisplay(nullptr);
    if (!display_) throw std::runtime_error("no X display");
    int screen = DefaultScreen(display_);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.event_mask =
        KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | StructureNotifyMask;
    window_ = XCreateWindow(display_, RootWindow(display_, screen), 0, 0,
                            static_cast<unsigned>(DisplayWidth(display_, screen)),
                            static_cast<unsigned>(DisplayHeight(display_, screen)), 0, CopyFromParent, InputOutput,
                            CopyFromParent, CWOverrideRedirect | CWEventMask, &attributes);
    XMapRaised(display_, window_);
    XEvent event;
    do {
        XWindowEvent(display_, window_, StructureNotifyMask, &event);
    } while (event.type != MapNotify);
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
    XSync(display_, False);
}

X11EventRecorder::~X11EventRecorder() {
    if (!display_) return;
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
}

std::vector<X11EventRecorder::Event> X11EventRecorder::take() {
    XSync(display_, False);
    std::vector<Event> events;
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        switch (event.type) {
        case MappingNotify:
            // As any application does; the map is fetched again at the next lookup.
            XRefreshKeyboardMapping(&event.xmapping);
            break;
        case KeyPress:
        case KeyRelease: {
            Event key{event.type, event.xkey.keycode, event.xkey.state, 0, {}, event.xkey.x, event.xkey.y};
            char latin1[8];
            XLookupString(&event.xkey, latin1, sizeof latin1, &key.keysym, nullptr);
            if (event.type == KeyPress) key.text = utf8(key.keysym);
            events.push_back(key);
            break;
        }
        case ButtonPress:
        case ButtonRelease:
            events.push_back(
                {event.type, event.xbutton.button, event.xbutton.state, 0, {}, event.xbutton.x, event.xbutton.y});
            break;
        case MotionNotify:
            events.push_back({event.type, 0, event.xmotion.state, 0, {}, event.xmotion.x, event.xmotion.y});
            break;
        default: break;
        }
    }
    return events;
}

std::string X11EventRecorder::utf8(KeySym keysym) {
    std::string text;
    if (keysym == XK_Return) {
        text = "\n";
    } else if (keysym == XK_Tab) {
        text = "\t";
    } else if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF)) {
        appendUtf8(text, static_cast<char32_t>(keysym));
    } else if (keysym >= 0x01000100 && keysym <= 0x0110FFFF) {
        appendUtf8(text, static_cast<char32_t>(keysym - 0x01000000));
    }
    return text;
}

std::string X11EventRecorder::typedText(const std::vector<Event>& events) {
    std::string text;
    for (const auto& event : events) {
        if (event.type == KeyPress) text += event.text;
    }
    return text;
}

std::vector<X11EventRecorder::Event> X11EventRecorder::ofType(const std::vector<Event>& events, int type) {
    std::vector<Event> matching;
    for (const auto& event : events) {
        if (event.type == type) matching.push_back(event);
    }
    return matching;
}

X11EventRecorder::PointerState X11EventRecorder::pointer() const {
    Window root = 0;
    Window child = 0;
    int windowX = 0;
    int windowY = 0;
    PointerState state;
    XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &state.x, &state.y, &windowX, &windowY,
                  &state.mask);
    return state;
}

std::vector<unsigned> X11EventRecorder::pressedKeys() const {
    char keys[32] = {};
    XQueryKeymap(display_, keys);
    std::vector<unsigned> pressed;
    for (unsigned keycode = 0; keycode < 256; ++keycode) {
        if (keys[keycode / 8] & (1 << (keycode % 8))) pressed.push_back(keycode);
    }
    return pressed;
}

X11EventRecorder::KeyboardMap X11EventRecorder::readKeyboardMap() const {
    KeyboardMap result;
    int maxKeycode = 0;
    XDisplayKeycodes(display_, &result.minKeycode, &maxKeycode);
    int count = maxKeycode - result.minKeycode + 1;
    KeySym* map = XGetKeyboardMapping(display_, static_cast<KeyCode>(result.minKeycode), count, &result.perKeycode);
    result.keysyms.assign(map, map + count * result.perKeycode);
    XFree(map);
    return result;
}

std::vector<KeySym> X11EventRecorder::keyboardMap() const {
    return readKeyboardMap().keysyms;
}

unsigned X11EventRecorder::keycodeOf(KeySym keysym) const {
    auto map = readKeyboardMap();
    if (map.perKeycode <= 0) return 0;
    auto step = static_cast<std::size_t>(map.perKeycode);
    for (std::size_t index = 0; index < map.keysyms.size(); index += step) {
        if (map.keysyms[index] == keysym)
            return static_cast<unsigned>(map.minKeycode) + static_cast<unsigned>(index / step);
    }
    return 0;
}

} // namespace orvik::helper::x11test
