#pragma once

#include "core/ServerClock.hpp"
#include "injection/InputSink.hpp"
#include "platform/SessionLock.hpp"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvik::helper {

class X11InputThread;

struct CGEventSinkOptions {
    std::string displayName;               // empty: $DISPLAY
    ServerClock now = systemUptimeClock(); // times of the spare-keycode bookkeeping
};

// The production InputSink: posts every event through XTest on a connection of its own to the X server.
//
// Threading: every X call of the sink is made on its own X thread (X11InputThread). Posting queues the event for
// the X thread; displayBounds and isSecureInputEnabled read state the X thread keeps fresh (the monitors from
// RandR, the screen saver from its events, the session lock from logind's signals on SessionLock's thread).
// cursorLocation asks where the pointer really is (the user may have moved it since), which the input controller
// does only when input resumes after a pause: the X thread asks the server in turn with the input, and the caller
// gets the last place known at once, unsettled; the X thread replays what the caller places from it from the real
// place, until the caller takes that place or places the pointer itself (see CursorReading). So the
// sink may be used from any thread, and a stuck or vanished X server stalls only its X thread. Destruction waits at
// most shutdownLimit for that thread.
//
// Positions are X root-window pixels (the global space of the X server: origin at the top-left of the root
// window, which every monitor lies in). Displays are the XRandR monitors in the order and with the identifiers
// of DisplayIdentifiers. Keys, text, modifiers, buttons and wheel clicks: see X11Keyboard and X11Pointer.
// Text that needs more borrowed keycodes than are free, and every event after it, waits on the X thread, in
// order, until one frees up.
class CGEventSink final : public InputSink {
public:
    // Ending waits this long at most: for the last borrowed keycodes to be read, then for the X server.
    static constexpr std::chrono::milliseconds shutdownLimit{4000};

    explicit CGEventSink(double doubleClickInterval, CGEventSinkOptions options = {});
    ~CGEventSink() override;
    CGEventSink(const CGEventSink&) = delete;
    CGEventSink& operator=(const CGEventSink&) = delete;

    // The desktop's double-click interval: XSETTINGS "Net/DoubleClickTime", else the toolkit default 400 ms.
    static double systemDoubleClickInterval();

    CursorReading cursorLocation() const override;
    std::optional<DisplayPoint> settledCursorLocation() const override;
    void forgetCursorReading() override;
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

    // Waits until everything posted that can go now has reached the X server and been handled, also what became
    // due since the sink clock moved; false after `limit`. For tests and benchmarks: the server never waits.
    bool settle(std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    const double doubleClickInterval_;
    std::shared_ptr<X11InputThread> thread_;
    SessionLock sessionLock_;
};

} // namespace orvik::helper
