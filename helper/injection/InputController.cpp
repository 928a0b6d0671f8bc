#include "injection/InputController.hpp"

#include "injection/DisplayGeometry.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvik::helper {
namespace {

bool finite(float value) {
    return std::isfinite(value);
}

} // namespace

InputController::InputController(std::shared_ptr<InputSink> sink, ServerClock now)
    : sink_(std::move(sink)), now_(now ? std::move(now) : systemUptimeClock()),
      lastInjection_(-std::numeric_limits<double>::infinity()) {}

double InputController::limited(float value) {
    return std::min(std::max(static_cast<double>(value), -maxDelta), maxDelta);
}

// Between injections less than resyncInterval apart our own events keep the position up to date. A sink still asking
// the desktop replays our events from the real place, until we take that place from it.
DisplayPoint InputController::currentPosition() {
    if (position_ && now_() - lastInjection_ < resyncInterval) {
        if (positionSettled_) return *position_;
        if (auto settled = sink_->settledCursorLocation()) {
            position_ = *settled;
            positionSettled_ = true;
        }
        return *position_;
    }
    const auto reading = sink_->cursorLocation();
    position_ = reading.location;
    positionSettled_ = reading.settled;
    return *position_;
}

void InputController::movePointer(float dx, float dy) {
    if (!finite(dx) || !finite(dy)) return;
    DisplayPoint previous = currentPosition();
    DisplayPoint target{previous.x + limited(dx), previous.y + limited(dy)};
    // Until the sink knows where the pointer really is, the displays' edges are not where our place says: the sink
    // keeps the replayed motion on them.
    if (positionSettled_) target = DisplayGeometry::clamp(target, previous, sink_->displayBounds());
    postMotion(target, previous);
}

void InputController::movePointerAbsolute(const PointerAbsolute& pointer) {
    if (!finite(pointer.x) || !finite(pointer.y)) return;
    auto display = sink_->displayBounds(pointer.displayID);
    if (!display || display->width < 1 || display->height < 1) return;
    double nx = std::clamp(static_cast<double>(pointer.x), 0.0, 1.0);
    double ny = std::clamp(static_cast<double>(pointer.y), 0.0, 1.0);
    // 0 maps to the display's first point and 1 to its last whole point, so no clamping is needed.
    DisplayPoint target{std::round(display->minX() + nx * (display->width - 1)),
                        std::round(display->minY() + ny * (display->height - 1))};
    const DisplayPoint previous = currentPosition();
    // The phone names the place: neither this move nor what follows it depends on where the pointer was.
    if (!positionSettled_) {
        sink_->forgetCursorReading();
        positionSettled_ = true;
    }
    postMotion(target, previous);
}

void InputController::postMotion(DisplayPoint target, DisplayPoint previous) {
    position_ = target;
    auto kind = heldButtons_.empty() ? MouseEventKind::moved : MouseEventKind::dragged;
    std::optional<MouseButton> button;
    if (!heldButtons_.empty()) button = heldButtons_.back();
    sink_->postMouse(kind, button, target, 0, {target.x - previous.x, target.y - previous.y});
    lastInjection_ = now_();
}

void InputController::handleButton(const ButtonEvent& event) {
    DisplayPoint at = currentPosition();
    MouseButton button = event.button;
    bool held = std::find(heldButtons_.begin(), heldButtons_.end(), button) != heldButtons_.end();
    switch (event.action) {
    case ButtonAction::down:
    case ButtonAction::dragDown: {
        if (held) return;
        int count = 1;
        if (event.action == ButtonAction::dragDown) {
            clicks_.reset();
        } else {
            count = clicks_.registerClick(button, at, now_(), sink_->doubleClickInterval());
        }
        heldButtons_.push_back(button);
        sink_->postMouse(MouseEventKind::down, button, at, count, {});
        break;
    }
    case ButtonAction::up:
        if (!held) return;
        heldButtons_.erase(std::find(heldButtons_.begin(), heldButtons_.end(), button));
        sink_->postMouse(MouseEventKind::up, button, at, clicks_.currentCount, {});
        break;
    case ButtonAction::click:
        postClick(button, at, clicks_.registerClick(button, at, now_(), sink_->doubleClickInterval()));
        break;
    case ButtonAction::doubleClick:
        postClick(button, at, 1);
        postClick(button, at, 2);
        clicks_.reset();
        break;
    default: return;
    }
    lastInjection_ = now_();
}

void InputController::postClick(MouseButton button, DisplayPoint at, int count) {
    sink_->postMouse(MouseEventKind::down, button, at, count, {});
    sink_->postMouse(MouseEventKind::up, button, at, count, {});
}

bool InputController::hasHeldInput() const {
    return !heldButtons_.empty() || !heldKeys_.empty() || !heldModifiers_.isEmpty();
}

} // namespace orvik::helper
