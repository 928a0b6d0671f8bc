#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <optional>
#include <string>

namespace orvik::test {

// Reads a selection (CLIPBOARD unless told otherwise) as an application does when the user pastes: asks the
// owner for a target and waits for the answer, on an X connection and window of its own.
class X11ClipboardReader {
public:
    explicit X11ClipboardReader(const std::string& selection = "CLIPBOARD");
    ~X11ClipboardReader();
    X11ClipboardReader(const X11ClipboardReader&) = delete;
    X11ClipboardReader& operator=(const X11ClipboardReader&) = delete;

    // The selection's UTF-8 text; absent when nobody owns it, the owner refuses, or no answer comes within
    // `limit`.
    std::optional<std::string> text(std::chrono::milliseconds limit = std::chrono::seconds(5));
    // The bytes of any 8-bit target (a marker type's data, say); absent as for text().
    std::optional<std::string> data(const std::string& target,
                                    std::chrono::milliseconds limit = std::chrono::seconds(5));

private:
    struct Answer {
        Atom type = None;
        int format = 0;
        std::string bytes;
    };
    std::optional<Answer> convert(Atom target, std::chrono::milliseconds limit);

    Display* display_ = nullptr;
    Window window_ = 0;
    Atom selection_ = 0;
    Atom utf8_ = 0;
    Atom property_ = 0;
};

} // namespace orvik::test
