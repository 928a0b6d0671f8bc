#pragma once

#include "clipboard/ClipboardContent.hpp"
#include "clipboard/ClipboardLimits.hpp"
#include "platform/X11Display.hpp"

#include <X11/Xlib.h>

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace orvik::helper {

// Answers other clients' requests for the selections we own: TARGETS, TIMESTAMP and every target of the
// content; data larger than one request goes out incrementally (INCR). MULTIPLE is refused.
class X11SelectionServer {
public:
    using Clock = std::chrono::steady_clock;

    X11SelectionServer(X11Display& display, Window window, const ClipboardLimits& limits);

    // Serves `content` for `selection` from now on, as owner since `time`. Transfers under way keep their data.
    void own(Atom selection, ClipboardContent content, Time time);
    void disown(Atom selection);
    // What we serve for `selection`; null while we do not own it.
    const ClipboardContent* content(Atom selection) const;

    void handleRequest(const XSelectionRequestEvent& request);
    // A property change on a requestor's window: a taken chunk asks for the next one.
    void handlePropertyNotify(const XPropertyEvent& event);
    // Drops transfers whose requestor stopped taking chunks.
    void expireTransfers(Clock::time_point now);
    std::optional<Clock::time_point> nextDeadline() const;

private:
    struct Transfer {
        Window requestor = None;
        Atom property = None;
        Atom type = None;
        std::shared_ptr<const Bytes> data;
        std::size_t offset = 0;
        Clock::time_point deadline;
    };

    struct Owned {
        ClipboardContent content;
        Time since = CurrentTime;
    };

    bool answer(const XSelectionRequestEvent& request, const Owned& owned, Atom property);
    bool answerTarget(const ClipboardTarget& target, Window requestor, Atom property);
    void sendNotify(const XSelectionRequestEvent& request, Atom property);
    void endTransfer(std::vector<Transfer>::iterator transfer);
    std::size_t chunkBytes() const;

    X11Display& x11_;
    Display* display_;
    Window window_;
    const ClipboardLimits& limits_;
    std::map<Atom, Owned> owned_;
    // Shared by every selection: a requestor's window is watched while any transfer to it runs.
    std::vector<Transfer> transfers_;
};

} // namespace orvik::helper
