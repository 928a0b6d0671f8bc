#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/record.h>

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace orvik::test {

// Every key press the X server processes, each with the keysyms its keycode had at that moment.
//
// An application looks a key up after the press arrives, in the keyboard map of that later moment. Text the
// helper types on borrowed keycodes is read right only while the keycode is still bound (milliseconds), so a
// test that reads its recorder later, on a loaded machine, would see the wrong map. This follows the map
// through every core ChangeKeyboardMapping request, in the server's own order with the key presses (RECORD
// extension), so what each press typed is known however late the test looks.
class X11KeymapTrace {
public:
    struct Press {
        unsigned keycode = 0;
        std::vector<KeySym> keysyms; // the keycode's keysyms by level, at the press

        // The UTF-8 text of the press with this modifier state (Shift picks the second level), as
        // XLookupString reads it for the symbols used here.
        std::string text(unsigned state) const;
    };

    X11KeymapTrace();
    ~X11KeymapTrace();
    X11KeymapTrace(const X11KeymapTrace&) = delete;
    X11KeymapTrace& operator=(const X11KeymapTrace&) = delete;

    // Every press recorded since construction, including what the server has sent meanwhile.
    const std::vector<Press>& presses();

private:
    static void intercept(XPointer self, XRecordInterceptData* data);
    void requestFromClient(const XRecordInterceptData& data);
    void eventFromServer(const XRecordInterceptData& data);
    void readInitialMap();
    void processPending(int waitMilliseconds);

    Display* control_ = nullptr;
    Display* data_ = nullptr;
    XRecordContext context_ = 0;
    bool started_ = false;
    std::array<std::vector<KeySym>, 256> map_;
    std::vector<Press> presses_;
};

} // namespace orvik::test
