#pragma once

#include "clipboard/ClipboardChangeCount.hpp"
#include "clipboard/ClipboardContent.hpp"
#include "clipboard/ClipboardLimits.hpp"
#include "clipboard/PasteboardSnapshot.hpp"
#include "clipboard/X11SelectionReader.hpp"
#include "clipboard/X11SelectionServer.hpp"
#include "platform/X11Display.hpp"

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvik::helper {

// The X11 CLIPBOARD on a connection of its own, used only by the clipboard thread: reads it from other owners,
// owns it with our contents and follows every owner change to keep the change count.
class X11Clipboard {
public:
    using Clock = std::chrono::steady_clock;

    // Absent when the display cannot be opened or lacks XFixes (needed to see other clients' copies). The
    // change count continues from `startCount`.
    static std::unique_ptr<X11Clipboard> open(const std::string& displayName, const ClipboardLimits& limits,
                                              std::int64_t startCount);
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

    std::int64_t changeCount() const { return count_.value(); }
    PasteboardSnapshot snapshot();
    std::optional<std::string> text();
    // Owns the clipboard with `content`; returns the change count after it (unchanged when that failed).
    std::int64_t write(ClipboardContent content);
    void restore(const PasteboardSnapshot& snapshot, std::int64_t changeCount);

private:
    X11Clipboard(std::unique_ptr<X11Display> display, int fixesEventBase, const ClipboardLimits& limits,
                 std::int64_t startCount);

    bool pumpUntil(const std::function<bool()>& done, Clock::time_point deadline);
    void dispatch(XEvent& event);
    Time serverTime();
    bool owns() const { return server_.content() != nullptr; }
    void release();

    // A connection that does not answer a time stamp request in this long is not worth waiting for.
    static constexpr std::chrono::milliseconds serverTimeWait{1000};

    std::unique_ptr<X11Display> x11_;
    Display* display_;
    int fixesEventBase_;
    const ClipboardLimits& limits_;
    Window window_ = None;
    Atom selection_;
    Atom timestampProperty_;
    std::optional<Time> timestampSeen_;
    ClipboardChangeCount count_;
    X11SelectionReader reader_;
    X11SelectionServer server_;
};

} // namespace orvik::helper
