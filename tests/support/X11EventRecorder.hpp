#pragma once

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace orvik::helper::x11test {

// A small X client for tests: one full-screen window with the keyboard focus that records the key, button and
// motion events it receives, the way an application sees them.
class X11EventRecorder {
public:
    struct Event {
        int type = 0;        // KeyPress, KeyRelease, ButtonPress, ButtonRelease, MotionNotify
        unsigned detail = 0; // keycode or button
        unsigned state = 0;  // modifier and button mask before the event
        KeySym keysym = 0;   // for keys: what the application reads, from the keyboard map when take() read it
        std::string text;    // for key presses: the UTF-8 text of the keysym
        int x = 0;
        int y = 0;
    };

    // On the display named `displayName`, or on $DISPLAY when it is empty.
    explicit X11EventRecorder(const std::string& displayName = {});
    ~X11EventRecorder();
    X11EventRecorder(const X11EventRecorder&) = delete;
    X11EventRecorder& operator=(const X11EventRecorder&) = delete;

    Display* display() const { return display_; }

    // Reads every event that arrived so far. Call it after something made the posting client's requests
    // complete (a round trip on its connection), so their events are on the way here.
    std::vector<Event> take();
    // The text of the key presses among `events`.
    static std::string typedText(const std::vector<Event>& events);
    static std::vector<Event> ofType(const std::vector<Event>& events, int type);

    // Where the pointer is, and which buttons and modifiers are down, as the server says.
    struct PointerState {
        int x = 0;
        int y = 0;
        unsigned mask = 0;
    };
    PointerState pointer() const;
    // Keycodes the server has down.
    std::vector<unsigned> pressedKeys() const;
    // The server's keyboard map for every keycode (read from the server, not from Xlib's cache).
    std::vector<KeySym> keyboardMap() const;
    // The keycode with `keysym` at the plain level, 0 when none.
    unsigned keycodeOf(KeySym keysym) const;

    // The text a key press with this keysym types (legacy keysyms such as Cyrillic_ya included), Return as "\n".
    static std::string utf8(KeySym keysym);

private:
    struct KeyboardMap {
        int minKeycode = 0;
        int perKeycode = 0;
        std::vector<KeySym> keysyms; // perKeycode keysyms of each keycode from minKeycode on
    };
    KeyboardMap readKeyboardMap() const;
    KeySym lookUp(const XKeyEvent& key, XkbDescPtr& map) const;

    Display* display_ = nullptr;
    Window window_ = 0;
};

} // namespace orvik::helper::x11test
