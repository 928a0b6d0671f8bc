// The keyboard, scroll and release half of InputController.
#include "injection/InputController.hpp"

#include <cmath>
#include <limits>

namespace orvik::helper {
namespace {

// Largest virtual key code a Mac keyboard produces; anything above is ignored.
constexpr std::uint16_t maxKeyCode = 127;

double sign(double value) {
    return value > 0 ? 1 : (value < 0 ? -1 : 0);
}

std::int32_t saturatedPixels(double value) {
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::min(std::max(value, lowest), highest));
}

} // namespace

const std::array<std::pair<ModifierFlags, MacKey>, 5> InputController::modifierKeys{{
    {ModifierFlags::control, MacKey::control},
    {ModifierFlags::option, MacKey::option},
    {ModifierFlags::shift, MacKey::shift},
    {ModifierFlags::command, MacKey::command},
    {ModifierFlags::function, MacKey::function},
}};

void InputController::scroll(const ScrollEvent& event) {
    if (!std::isfinite(event.dx) || !std::isfinite(event.dy)) return;
    double ax = scrollRemainder_.dx + limited(event.dx);
    double ay = scrollRemainder_.dy + limited(event.dy);
    double sx = std::trunc(ax);
    double sy = std::trunc(ay);
    scrollRemainder_ = {ax - sx, ay - sy};
    if (sx != 0 || sy != 0) lastScrollDirection_ = {sign(sx), sign(sy)};

    if (scrollMode_ == ScrollMode::phased) {
        bool inGesture = event.phase != ScrollPhase::none || event.momentum != MomentumPhase::none;
        // A gesture event without a whole step still moves one pixel, so the phase reaches the application.
        if (sx == 0 && sy == 0 && inGesture) {
            sx = lastScrollDirection_.dx;
            sy = lastScrollDirection_.dy;
        }
        if (sx == 0 && sy == 0) return;
        sink_->postScroll(saturatedPixels(sx), saturatedPixels(sy), event.phase, event.momentum);
        bool gestureOver = event.phase == ScrollPhase::ended || event.momentum == MomentumPhase::end;
        if (gestureOver) scrollRemainder_ = {0, 0};
    } else {
        if (sx == 0 && sy == 0) return;
        sink_->postScroll(saturatedPixels(sx), saturatedPixels(sy), ScrollPhase::none, MomentumPhase::none);
    }
    lastInjection_ = now_();
}

void InputController::key(const KeyEvent& event) {
    if (event.keyCode > maxKeyCode) return;
    auto named = macKey(event.keyCode);
    auto flag = named ? modifierFlag(*named) : std::nullopt;
    if (flag) {
        modifierKey(event.keyCode, *flag, event.action);
    } else {
        regularKey(event.keyCode, event.modifiers, event.action);
    }
    lastInjection_ = now_();
}

void InputController::press(const KeyCombo& combo) {
    key(KeyEvent{rawValue(combo.key), combo.modifiers, KeyAction::press});
}

void InputController::typeUnicode(std::u16string_view units) {
    sink_->postUnicode(units, true);
    sink_->postUnicode(units, false);
    lastInjection_ = now_();
}

void InputController::modifierKey(std::uint16_t keyCode, ModifierFlags flag, KeyAction action) {
    bool held = heldModifiers_.contains(flag);
    switch (action) {
    case KeyAction::down:
        if (held) return;
        heldModifiers_.insert(flag);
        sink_->postModifierChange(keyCode, heldModifiers_);
        break;
    case KeyAction::up:
        if (!held) return;
        heldModifiers_.remove(flag);
        sink_->postModifierChange(keyCode, heldModifiers_);
        break;
    case KeyAction::press:
        if (held) return;
        sink_->postModifierChange(keyCode, heldModifiers_ | flag);
        sink_->postModifierChange(keyCode, heldModifiers_);
        break;
    }
}

void InputController::regularKey(std::uint16_t keyCode, ModifierFlags requested, KeyAction action) {
    switch (action) {
    case KeyAction::down: {
        if (heldKeys_.contains(keyCode)) return;
        ModifierFlags pressed = pressModifiers(requested - heldModifiers_);
        heldKeys_[keyCode] = pressed;
        sink_->postKey(keyCode, true, pressed | heldModifiers_);
        break;
    }
    case KeyAction::up: {
        auto entry = heldKeys_.find(keyCode);
        if (entry == heldKeys_.end()) return;
        ModifierFlags pressed = entry->second;
        heldKeys_.erase(entry);
        sink_->postKey(keyCode, false, pressed | heldModifiers_);
        // A modifier another held key still needs stays down until that key comes up.
        releaseModifiers(pressed - activeKeyModifiers());
        break;
    }
    case KeyAction::press: {
        ModifierFlags pressed = pressModifiers(requested - heldModifiers_);
        ModifierFlags flags = pressed | heldModifiers_;
        sink_->postKey(keyCode, true, flags);
        sink_->postKey(keyCode, false, flags);
        releaseModifiers(pressed - activeKeyModifiers());
        break;
    }
    }
}

ModifierFlags InputController::pressModifiers(ModifierFlags set) {
    ModifierFlags current = heldModifiers_ | activeKeyModifiers();
    for (const auto& [flag, key] : modifierKeys) {
        if (!set.contains(flag)) continue;
        current.insert(flag);
        sink_->postModifierChange(rawValue(key), current);
    }
    return set;
}

void InputController::releaseModifiers(ModifierFlags set) {
    ModifierFlags current = heldModifiers_ | activeKeyModifiers() | set;
    for (auto entry = modifierKeys.rbegin(); entry != modifierKeys.rend(); ++entry) {
        const auto& [flag, key] = *entry;
        if (!set.contains(flag)) continue;
        current.remove(flag);
        sink_->postModifierChange(rawValue(key), current);
    }
}

ModifierFlags InputController::activeKeyModifiers() const {
    ModifierFlags active;
    for (const auto& [code, pressed] : heldKeys_) active = active | pressed;
    return active;
}

// Where the pointer is matters only to a button's release: with none held the sink is not asked.
void InputController::releaseAll() {
    if (!heldButtons_.empty()) {
        DisplayPoint at = currentPosition();
        for (auto button = heldButtons_.rbegin(); button != heldButtons_.rend(); ++button) {
            sink_->postMouse(MouseEventKind::up, *button, at, clicks_.currentCount, {});
        }
    }
    heldButtons_.clear();
    for (const auto& [code, pressed] : heldKeys_) sink_->postKey(code, false, pressed | heldModifiers_);
    ModifierFlags all = activeKeyModifiers();
    heldKeys_.clear();
    releaseModifiers(all | heldModifiers_);
    heldModifiers_ = {};
    scrollRemainder_ = {0, 0};
}

} // namespace orvik::helper
