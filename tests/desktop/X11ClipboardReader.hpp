#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <optional>
#include <string>

namespace orvik::test {

// Reads the CLIPBOARD as an application does when the user pastes: asks the owner for UTF-8 text and waits for
// the answer, on an X connection and window of its own.
class X11ClipboardReader {
public:
    X11ClipboardReader();
    ~X11ClipboardReader();
    X11ClipboardReader(const X11ClipboardReader&) = delete;
    X11ClipboardReader& operator=(const X11ClipboardReader&) = delete;

    // The clipboard's text; absent when nobody owns it, the owner refuses, or no answer comes within `limit`.
    std::optional<std::string> text(std::chrono::milliseconds limit = std::chrono::seconds(5));

private:
    Display* display_ = nullptr;
    Window window_ = 0;
    Atom clipboard_ = 0;
    Atom utf8_ = 0;
    Atom property_ = 0;
};

} // namespace orvik::test
