#include "injection/RecordingSink.hpp"

#include "core/UnicodeText.hpp"

#include <unicode/unistr.h>

#include <ctime>

namespace orvik::helper {

RecordingSink::Clock::time_point RecordingSink::Clock::now() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return time_point(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
}

RecordingSink::RecordingSink(std::vector<DisplayRect> displays, DisplayPoint cursor, double doubleClickInterval)
    : doubleClickInterval_(doubleClickInterval) {
    state_.cursor = cursor;
    state_.displays = std::move(displays);
}

CursorReading RecordingSink::cursorLocation() const {
    std::lock_guard lock(mutex_);
    ++cursorReads_;
    return {state_.cursor};
}

std::size_t RecordingSink::cursorReads() const {
    std::lock_guard lock(mutex_);
    return cursorReads_;
}

std::vector<DisplayRect> RecordingSink::displayBounds() const {
    std::lock_guard lock(mutex_);
    return state_.displays;
}

std::optional<DisplayRect> RecordingSink::displayBounds(std::uint32_t displayID) const {
    std::lock_guard lock(mutex_);
    if (displayID == 0 || displayID > state_.displays.size()) return std::nullopt;
    return state_.displays[displayID - 1];
}

void RecordingSink::postMouse(MouseEventKind kind, std::optional<MouseButton> button, DisplayPoint location,
                              int clickCount, DisplayVector) {
    std::lock_guard lock(mutex_);
    state_.cursor = location;
    state_.events.push_back(RecordedInput::mouse(kind, button, location, clickCount));
    state_.times.push_back(Clock::now());
}

void RecordingSink::postScroll(std::int32_t dx, std::int32_t dy, ScrollPhase phase, MomentumPhase momentum) {
    append(RecordedInput::scroll(dx, dy, phase, momentum));
}

void RecordingSink::postKey(std::uint16_t keyCode, bool isDown, ModifierFlags flags) {
    append(RecordedInput::key(keyCode, isDown, flags));
}

void RecordingSink::postModifierChange(std::uint16_t keyCode, ModifierFlags flags) {
    append(RecordedInput::modifier(keyCode, flags));
}

void RecordingSink::postUnicode(std::u16string_view units, bool isDown) {
    // ICU turns unpaired surrogates into U+FFFD on the way to UTF-8.
    auto text = UnicodeText::toUtf8(icu::UnicodeString(units.data(), static_cast<std::int32_t>(units.size())));
    append(RecordedInput::unicode(std::move(text), isDown));
}

void RecordingSink::postMediaKey(std::int32_t code, bool isDown) {
    append(RecordedInput::media(code, isDown));
}

bool RecordingSink::isSecureInputEnabled() const {
    std::lock_guard lock(mutex_);
    return state_.secureInput;
}

std::vector<RecordedInput> RecordingSink::events() const {
    std::lock_guard lock(mutex_);
    return state_.events;
}

std::vector<RecordingSink::Clock::time_point> RecordingSink::eventTimes() const {
    std::lock_guard lock(mutex_);
    return state_.times;
}

void RecordingSink::clearEvents() {
    std::lock_guard lock(mutex_);
    state_.events.clear();
    state_.times.clear();
}

void RecordingSink::setCursor(DisplayPoint cursor) {
    std::lock_guard lock(mutex_);
    state_.cursor = cursor;
}

void RecordingSink::setSecureInput(bool enabled) {
    std::lock_guard lock(mutex_);
    state_.secureInput = enabled;
}

void RecordingSink::append(RecordedInput input) {
    std::lock_guard lock(mutex_);
    state_.events.push_back(std::move(input));
    state_.times.push_back(Clock::now());
}

} // namespace orvik::helper
