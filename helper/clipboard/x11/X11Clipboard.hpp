#pragma once

#include "clipboard/ClipboardChangeCount.hpp"
#include "clipboard/ClipboardContent.hpp"
#include "clipboard/ClipboardLimits.hpp"
#include "clipboard/ClipboardSelection.hpp"
#include "clipboard/PasteboardSnapshot.hpp"
#include "clipboard/x11/X11SelectionReader.hpp"
#include "clipboard/x11/X11SelectionServer.hpp"
#include "platform/X11Display.hpp"

#include <X11/Xlib.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvik::helper {

// The X11 CLIPBOARD and PRIMARY selections on a connection of its own, used only by the clipboard thread:
// reads them from other owners, owns them with our contents and follows every owner change to keep a change
// count for each.
class X11Clipboard {
public:
    using Clock = std::chrono::steady_clock;
    using ChangeCounts = std::array<std::int64_t, clipboardSelectionCount>;

    // Absent when the display cannot be opened or lacks XFixes (needed to see other clients' copies). The
    // change counts continue from `startCounts`.
    static std::unique_ptr<X11Clipboard> open(const std::string& displayName, const ClipboardLimits& limits,
                                              const ChangeCounts& startCounts);
    ~X11Clipboard();
    X11Clipboard(const X11Clipboard&) = delete;
    X11Clipboard& operator=(const X11Clipboard&) = delete;

    int connectionNumber() const;
    // The X server went away; nothing more can be done on this connection.
    bool isLost() const { return x11_->isBroken(); }

    // Handles every event that has arrived, without waiting.
    void dispatchPending();
    // Makes sure every change the server made so far has been seen (one round trip).
    void sync();
    void expireTransfers(Clock::time_point now) { server_.expireTransfers(now); }
    std::optional<Clock::time_point> nextDeadline() const { return server_.nextDeadline(); }

    std::int64_t changeCount(ClipboardSelection which) const { return state(which).count.value(); }
    PasteboardSnapshot snapshot(ClipboardSelection which);
    std::optional<std::string> text(ClipboardSelection which);
    // Owns the selection with `content`; returns its change count after it (unchanged when that failed).
    std::int64_t write(ClipboardSelection which, ClipboardContent content);
    void restore(ClipboardSelection which, const PasteboardSnapshot& snapshot, std::int64_t changeCount);

private:
    struct Selection {
        Atom atom = None;
        ClipboardChangeCount count;
    };

    X11Clipboard(std::unique_ptr<X11Display> display, int fixesEventBase, const ClipboardLimits& limits,
                 const ChangeCounts& startCounts);

    bool pumpUntil(const std::function<bool()>& done, Clock::time_point deadline);
    void dispatch(XEvent& event);
    void ownerChanged(const XEvent& event);
    Time serverTime();
    Selection& state(ClipboardSelection which) { return selections_[indexOf(which)]; }
    const Selection& state(ClipboardSelection which) const { return selections_[indexOf(which)]; }
    Selection* stateOf(Atom selection);
    const ClipboardContent* owned(ClipboardSelection which) const { return server_.content(state(which).atom); }
    void release(ClipboardSelection which);

    // A connection that does not answer a time stamp request in this long is not worth waiting for.
    static constexpr std::chrono::milliseconds serverTimeWait{1000};

    std::unique_ptr<X11Display> x11_;
    Display* display_;
    int fixesEventBase_;
    const ClipboardLimits& limits_;
    Window window_ = None;
    Atom timestampProperty_;
    std::optional<Time> timestampSeen_;
    std::array<Selection, clipboardSelectionCount> selections_;
    X11SelectionReader reader_;
    X11SelectionServer server_;
};

} // namespace orvik::helper
