#include "X11EventRecorder.hpp"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

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

X11EventRecorder::X11EventRecorder(const std::string& displayName) {
    display_ = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
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

// A key is looked up the way Xlib's XLookupString does (the key's XKB type picks the level, Lock gives the upper
// case) in the whole keyboard map of the moment the key is read. Xlib's own cache is refreshed
// only for the keys a change names and can miss changes that arrive while it refreshes, which would make these
// tests fail for reasons of the reader's.
KeySym X11EventRecorder::lookUp(const XKeyEvent& key, XkbDescPtr& map) const {
    if (!map) map = XkbGetMap(display_, XkbAllClientInfoMask, XkbUseCoreKbd);
    unsigned consumed = 0;
    KeySym keysym = NoSymbol;
    if (!map || !XkbTranslateKeyCode(map, static_cast<KeyCode>(key.keycode), key.state, &consumed, &keysym)) {
        return NoSymbol;
    }
    KeySym lower = NoSymbol;
    KeySym upper = NoSymbol;
    XConvertCase(keysym, &lower, &upper);
    return (key.state & LockMask) ? upper : keysym;
}

std::vector<X11EventRecorder::Event> X11EventRecorder::take() {
    XSync(display_, False);
    std::vector<Event> events;
    XkbDescPtr map = nullptr;
    // Only what arrived before the map is read: later events may have been sent with a later map.
    for (int count = XEventsQueued(display_, QueuedAlready); count > 0; --count) {
        XEvent event;
        XNextEvent(display_, &event);
        switch (event.type) {
        case KeyPress:
        case KeyRelease: {
            Event key{event.type, event.xkey.keycode, event.xkey.state, 0, {}, event.xkey.x, event.xkey.y};
            key.keysym = lookUp(event.xkey, map);
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
    if (map) XkbFreeKeyboard(map, XkbAllComponentsMask, True);
    return events;
}

std::string X11EventRecorder::utf8(KeySym keysym) {
    std::string text;
    if (keysym == XK_Return) return "\n";
    char32_t character = xkb_keysym_to_utf32(static_cast<xkb_keysym_t>(keysym));
    if ((character >= 0x20 && character != 0x7F) || character == U'\t') appendUtf8(text, character);
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
