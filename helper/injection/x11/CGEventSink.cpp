#include "injection/x11/CGEventSink.hpp"

#include "core/Log.hpp"
#include "injection/x11/X11InputThread.hpp"
#include "injection/x11/X11KeyTable.hpp"
#include "injection/x11/X11Keyboard.hpp"
#include "injection/x11/X11Pointer.hpp"
#include "injection/x11/X11Unicode.hpp"
#include "platform/X11Display.hpp"
#include "platform/XSettings.hpp"

namespace orvik::helper {
namespace {

// Media keys and Mac keys are held apart in the keyboard's book of held keys.
constexpr int mediaKeyHolderBase = 0x10000;

} // namespace

CGEventSink::CGEventSink(double doubleClickInterval, CGEventSinkOptions options)
    : doubleClickInterval_(doubleClickInterval),
      thread_(X11InputThread::start(std::move(options.displayName), std::move(options.now))) {
    if (!thread_->isConnected()) Log::error("Input", "Cannot connect to the X display");
}

CGEventSink::~CGEventSink() {
    thread_->stop(shutdownLimit);
}

double CGEventSink::systemDoubleClickInterval() {
    auto display = X11Display::open();
    return display ? XSettings::doubleClickInterval(*display) : XSettings::defaultDoubleClickInterval;
}

CursorReading CGEventSink::cursorLocation() const {
    return thread_->cursor();
}

std::optional<DisplayPoint> CGEventSink::settledCursorLocation() const {
    return thread_->settledCursor();
}

void CGEventSink::forgetCursorReading() {
    thread_->forgetCursor();
}

std::vector<DisplayRect> CGEventSink::displayBounds() const {
    std::vector<DisplayRect> bounds;
    for (const auto& display : thread_->monitors()) bounds.push_back(X11InputThread::rectOf(display));
    return bounds;
}

std::optional<DisplayRect> CGEventSink::displayBounds(std::uint32_t displayID) const {
    for (const auto& display : thread_->monitors()) {
        if (display.id == displayID) return X11InputThread::rectOf(display);
    }
    return std::nullopt;
}

// X events carry no click count: toolkits count clicks themselves from the time and place of plain presses,
// with the desktop's double-click interval (the one this sink reports). So a press is posted as a press, and
// double and triple clicks arise from their timing. The delta is not posted either: the server derives motion
// from the positions.
void CGEventSink::postMouse(MouseEventKind kind, std::optional<MouseButton> button, DisplayPoint location, int,
                            DisplayVector) {
    thread_->post(
        [kind, button, location](X11Keyboard&, X11Pointer& pointer, double) {
            if (kind == MouseEventKind::moved || kind == MouseEventKind::dragged) {
                pointer.move(location);
            } else {
                pointer.moveTo(location);
                pointer.button(button.value_or(MouseButton::left), kind == MouseEventKind::down);
            }
            return true;
        },
        location);
}

void CGEventSink::postScroll(std::int32_t dx, std::int32_t dy, ScrollPhase phase, MomentumPhase) {
    thread_->post([dx, dy, phase](X11Keyboard&, X11Pointer& pointer, double) {
        pointer.scroll(dx, dy, phase);
        return true;
    });
}

void CGEventSink::postKey(std::uint16_t keyCode, bool isDown, ModifierFlags flags) {
    auto keysym = X11KeyTable::keysym(keyCode);
    if (keysym == X11KeyTable::noSymbol) return;
    auto modifiers = X11Keyboard::modifiersFor(flags);
    thread_->post([keyCode, keysym, isDown, modifiers](X11Keyboard& keyboard, X11Pointer&, double now) {
        return keyboard.key(keyCode, keysym, isDown, modifiers, now);
    });
}

void CGEventSink::postModifierChange(std::uint16_t, ModifierFlags flags) {
    auto modifiers = X11Keyboard::modifiersFor(flags);
    thread_->post([modifiers](X11Keyboard& keyboard, X11Pointer&, double) {
        keyboard.setModifiers(modifiers);
        return true;
    });
}

// X has no key event that carries text: the whole text is typed key by key on the down call, so the up call
// has nothing left to do.
void CGEventSink::postUnicode(std::u16string_view units, bool isDown) {
    if (!isDown || units.empty()) return;
    thread_->post([text = X11Unicode::codePoints(units), next = std::size_t{0}](X11Keyboard& keyboard, X11Pointer&,
                                                                                double now) mutable {
        return keyboard.type(text, next, now);
    });
}

void CGEventSink::postMediaKey(std::int32_t code, bool isDown) {
    auto keysym = X11KeyTable::mediaKeysym(code);
    if (keysym == X11KeyTable::noSymbol) return;
    thread_->post([code, keysym, isDown](X11Keyboard& keyboard, X11Pointer&, double now) {
        return keyboard.key(mediaKeyHolderBase + code, keysym, isDown, std::nullopt, now);
    });
}

bool CGEventSink::isSecureInputEnabled() const {
    return sessionLock_.lockedHint().value_or(false) || thread_->screenSaverOn();
}

bool CGEventSink::settle(std::chrono::milliseconds limit) {
    return thread_->settle(limit);
}

} // namespace orvik::helper
