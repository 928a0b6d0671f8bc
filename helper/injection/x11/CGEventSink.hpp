#pragma once

#include "core/ServerClock.hpp"
#include "injection/InputSink.hpp"
#include "platform/DisplayIdentifiers.hpp"
#include "platform/SessionLock.hpp"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace orvik::helper {

class X11Display;
class X11Keyboard;
class X11Pointer;

struct CGEventSinkOptions {
    std::string displayName;               // empty: $DISPLAY
    ServerClock now = systemUptimeClock(); // times of the spare-keycode bookkeeping
    // The sink waits for spare keycodes to come free on a thread of its own; tests turn that off and call
    // runDueWork() after moving their clock.
    bool timerThread = true;
};

// The production InputSink: posts every event through XTest on a connection of its own to the X server.
//
// Positions are X root-window pixels (the global space of the X server: origin at the top-left of the root
// window, which every monitor lies in). Displays are the XRandR monitors in the order and with the identifiers
// of DisplayIdentifiers. Keys, text, modifiers, buttons and wheel clicks: see X11Keyboard and X11Pointer.
//
// Never blocks its caller for time to pass. Text that needs more borrowed keycodes than are free right now, and
// every event after it, waits in a queue (in order) until one frees up; the sink's thread finishes it. Calls
// are serialised by one lock, so the sink may be used from any thread.
class CGEventSink final : public InputSink {
public:
    // While the X server is unreachable the sink tries to reconnect at most this often.
    static constexpr double reconnectInterval = 1.0;
    // The monitor list is re-read when RandR reports a change, and at least this often.
    static constexpr double monitorsMaxAge = 1.0;

    explicit CGEventSink(double doubleClickInterval, CGEventSinkOptions options = {});
    ~CGEventSink() override;
    CGEventSink(const CGEventSink&) = delete;
    CGEventSink& operator=(const CGEventSink&) = delete;

    // The desktop's double-click interval: XSETTINGS "Net/DoubleClickTime", else the toolkit default 400 ms.
    static double systemDoubleClickInterval();

    DisplayPoint cursorLocation() const override;
    std::vector<DisplayRect> displayBounds() const override;
    std::optional<DisplayRect> displayBounds(std::uint32_t displayID) const override;
    void postMouse(MouseEventKind kind, std::optional<MouseButton> button, DisplayPoint location, int clickCount,
                   DisplayVector delta) override;
    void postScroll(std::int32_t dx, std::int32_t dy, ScrollPhase phase, MomentumPhase momentum) override;
    void postKey(std::uint16_t keyCode, bool isDown, ModifierFlags flags) override;
    void postModifierChange(std::uint16_t keyCode, ModifierFlags flags) override;
    void postUnicode(std::u16string_view units, bool isDown) override;
    void postMediaKey(std::int32_t code, bool isDown) override;
    bool isSecureInputEnabled() const override;
    double doubleClickInterval() const override { return doubleClickInterval_; }

    // Finishes queued events that can go now and gives back borrowed keycodes that are due.
    void runDueWork();
    // When runDueWork() next has something to do; absent when nothing waits.
    std::optional<double> nextDueTime() const;

private:
    // Returns false when it must wait for a spare keycode; it is then run again, from where it stopped.
    using Operation = std::function<bool(double now)>;

    bool connectLocked() const;
    void drainEventsLocked() const;
    const std::vector<DisplayInfo>& monitorsLocked() const;
    void post(Operation operation, bool touchesKeyboard);
    void runDueWorkLocked();
    std::optional<double> nextDueTimeLocked() const;
    void timerLoop();
    void shutDownLocked();

    const double doubleClickInterval_;
    const CGEventSinkOptions options_;

    mutable std::mutex mutex_;
    mutable std::unique_ptr<X11Display> display_;
    mutable std::unique_ptr<X11Keyboard> keyboard_;
    mutable std::unique_ptr<X11Pointer> pointer_;
    mutable std::optional<double> lastConnectAttempt_;
    mutable int randrEventBase_ = -1;
    mutable int xkbEventBase_ = -1;
    mutable std::vector<DisplayInfo> monitors_;
    mutable std::optional<double> monitorsReadAt_;
    mutable std::deque<Operation> pending_; // dropped with the connection they were meant for
    mutable SessionLock sessionLock_;

    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread timer_;
};

} // namespace orvik::helper
