#pragma once

#include "injection/InputSink.hpp"
#include "injection/RecordedInput.hpp"

#include <chrono>
#include <mutex>
#include <vector>

namespace orvik::helper {

// An InputSink that posts nothing and records every call with the instant it was made. Display identifiers
// are 1-based positions in its display list. Thread-safe: it may be inspected from any thread.
class RecordingSink final : public InputSink {
public:
    // A monotonic clock that keeps counting while the machine is suspended.
    struct Clock {
        using duration = std::chrono::nanoseconds;
        using rep = duration::rep;
        using period = duration::period;
        using time_point = std::chrono::time_point<Clock>;
        static constexpr bool is_steady = true;
        static time_point now();
    };

    static constexpr DisplayRect defaultDisplay{0, 0, 1440, 900};
    static constexpr DisplayPoint defaultCursor{720, 450};
    static constexpr double defaultDoubleClickInterval = 0.5;

    explicit RecordingSink(std::vector<DisplayRect> displays = {defaultDisplay}, DisplayPoint cursor = defaultCursor,
                           double doubleClickInterval = defaultDoubleClickInterval);

    CursorReading cursorLocation() const override;
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

    // Copies of what was recorded, oldest first; both lists always have the same length.
    std::vector<RecordedInput> events() const;
    std::vector<Clock::time_point> eventTimes() const;
    // Forgets the recorded events; the cursor, displays and secure-input flag stay.
    void clearEvents();
    // How often the cursor's place was asked (of a real sink, a question to the window server).
    std::size_t cursorReads() const;
    void setCursor(DisplayPoint cursor);
    void setSecureInput(bool enabled);

private:
    struct State {
        std::vector<RecordedInput> events;
        std::vector<Clock::time_point> times;
        DisplayPoint cursor;
        std::vector<DisplayRect> displays;
        bool secureInput = false;
    };

    void append(RecordedInput input);

    mutable std::mutex mutex_;
    State state_;
    mutable std::size_t cursorReads_ = 0;
    const double doubleClickInterval_;
};

} // namespace orvik::helper
