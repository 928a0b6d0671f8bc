#include "injection/x11/X11Keyboard.hpp"

#include "core/Log.hpp"
#include "injection/x11/X11Unicode.hpp"
#include "platform/X11Display.hpp"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace orvik::helper {
namespace {

// Shift, Control, Alt, in the order of modifierKeycodes_; the first keysym the keyboard has is used.
const std::array<std::array<KeySym, 3>, 3> modifierKeysyms{{
    {XK_Shift_L, XK_Shift_R, NoSymbol},
    {XK_Control_L, XK_Control_R, NoSymbol},
    {XK_Alt_L, XK_Alt_R, XK_Meta_L},
}};

constexpr int groupsWithCoreLevels = 2;

} // namespace

X11Keyboard::X11Keyboard(X11Display& display) : display_(display) {}

std::uint8_t X11Keyboard::modifiersFor(ModifierFlags flags) {
    std::uint8_t modifiers = 0;
    if (flags.contains(ModifierFlags::command) || flags.contains(ModifierFlags::control)) modifiers |= x11Control;
    if (flags.contains(ModifierFlags::option)) modifiers |= x11Alt;
    if (flags.contains(ModifierFlags::shift)) modifiers |= x11Shift;
    return modifiers;
}

// The pool follows the map: keycodes that came free join it, spares someone else changed leave it.
bool X11Keyboard::ensureMap() {
    if (!mapStale_) return keymap_.isLoaded();
    mapStale_ = false;
    if (!keymap_.load(display_.get())) return false;
    for (auto keycode : spares_.keycodes()) spares_.reconcile(keycode, keymap_.firstLevels(keycode));
    for (auto keycode : keymap_.emptyKeycodes()) spares_.add(keycode);
    for (std::size_t modifier = 0; modifier < modifierKeysyms.size(); ++modifier) {
        modifierKeycodes_[modifier] = 0;
        for (KeySym keysym : modifierKeysyms[modifier]) {
            if (auto keycode = plainKeycode(static_cast<std::uint32_t>(keysym)); keysym != NoSymbol && keycode) {
                modifierKeycodes_[modifier] = *keycode;
                break;
            }
        }
    }
    return true;
}

std::optional<std::uint8_t> X11Keyboard::plainKeycode(std::uint32_t keysym) const {
    return keymap_.find(keysym, 0, [this](std::uint8_t keycode) { return isSpare(keycode); });
}

std::pair<int, bool> X11Keyboard::levelState() const {
    XkbStateRec state{};
    if (XkbGetState(display_.get(), XkbUseCoreKbd, &state) != Success) return {0, false};
    return {state.group, (state.locked_mods & LockMask) != 0};
}

std::optional<X11Keyboard::Placement> X11Keyboard::placeOnKeyboard(std::uint32_t keysym, int group) const {
    // The core map shows only the first two groups' first two levels; other characters go through a spare.
    if (group >= groupsWithCoreLevels) return std::nullopt;
    auto skipSpares = [this](std::uint8_t keycode) { return isSpare(keycode); };
    if (auto plain = keymap_.find(keysym, 2 * group, skipSpares)) return Placement{*plain, false};
    if (auto shifted = keymap_.find(keysym, 2 * group + 1, skipSpares)) return Placement{*shifted, true};
    return std::nullopt;
}

std::optional<X11SpareKeycodes::Lease> X11Keyboard::spareFor(std::uint32_t keysym, bool wholeKey, double now) {
    auto lease = wholeKey ? spares_.leaseKey(keysym, now) : spares_.leaseLevel(keysym, now);
    if (!lease) {
        blocked_ = spares_.canEverLease();
        blockedOnWholeKey_ = wholeKey;
        if (!blocked_ && !reportedNoSpare_) {
            Log::error("Input", "No spare keycode to type a character the keyboard lacks");
            reportedNoSpare_ = true;
        }
        return std::nullopt;
    }
    if (lease->needsBinding) bind(lease->keycode);
    return lease;
}

bool X11Keyboard::key(int holder, std::uint32_t keysym, bool isDown, std::optional<std::uint8_t> modifiers,
                      double now) {
    blocked_ = false;
    if (!ensureMap()) return true;
    if (!isDown) {
        std::optional<std::uint8_t> keycode;
        if (auto held = heldKeys_.find(holder); held != heldKeys_.end()) {
            keycode = held->second;
            heldKeys_.erase(held);
        } else {
            keycode = plainKeycode(keysym);
        }
        if (modifiers) setModifiers(*modifiers);
        if (keycode) {
            fakeKey(*keycode, false);
            spares_.released(*keycode, now);
        }
        return true;
    }
    auto keycode = plainKeycode(keysym);
    if (!keycode) {
        auto lease = spareFor(keysym, true, now);
        if (!lease) return !blocked_;
        keycode = lease->keycode;
        spares_.pressed(*keycode);
    }
    if (modifiers) setModifiers(*modifiers);
    fakeKey(*keycode, true);
    heldKeys_[holder] = *keycode;
    return true;
}

bool X11Keyboard::type(const std::u32string& text, std::size_t& next, double now) {
    blocked_ = false;
    if (!ensureMap()) {
        next = text.size();
        return true;
    }
    auto [group, capsLock] = levelState();
    if (capsLock) XkbLockModifiers(display_.get(), XkbUseCoreKbd, LockMask, 0);
    auto before = heldModifiers_;
    bool finished = true;
    // After a lost connection nothing more is sent: the text is dropped with it.
    for (; next < text.size() && !display_.isBroken(); ++next) {
        if (!typeCharacter(text[next], group, now)) {
            finished = false;
            break;
        }
    }
    setModifiers(before);
    if (capsLock) XkbLockModifiers(display_.get(), XkbUseCoreKbd, LockMask, LockMask);
    return finished || display_.isBroken();
}

bool X11Keyboard::typeCharacter(char32_t character, int group, double now) {
    auto keysyms = X11Unicode::keysyms(character);
    if (keysyms[0] == X11Unicode::noSymbol) return true;
    for (auto keysym : keysyms) {
        auto placement = placeOnKeyboard(keysym, group);
        if (!placement) continue;
        setModifiers(placement->shifted ? x11Shift : 0);
        fakeKey(placement->keycode, true);
        fakeKey(placement->keycode, false);
        return true;
    }
    auto lease = spareFor(keysyms[0], false, now);
    if (!lease) return !blocked_;
    setModifiers(lease->level == 1 ? x11Shift : 0);
    fakeKey(lease->keycode, true);
    fakeKey(lease->keycode, false);
    spares_.used(lease->keycode, lease->level, now);
    return true;
}

void X11Keyboard::setModifiers(std::uint8_t modifiers) {
    if (!ensureMap()) return;
    for (std::size_t modifier = 0; modifier < modifierKeycodes_.size(); ++modifier) {
        auto bit = static_cast<std::uint8_t>(1u << modifier);
        if ((heldModifiers_ & bit) && !(modifiers & bit)) {
            fakeKey(heldModifierKeycodes_[modifier], false);
            heldModifiers_ &= static_cast<std::uint8_t>(~bit);
        }
    }
    for (std::size_t modifier = 0; modifier < modifierKeycodes_.size(); ++modifier) {
        auto bit = static_cast<std::uint8_t>(1u << modifier);
        if ((modifiers & bit) && !(heldModifiers_ & bit) && modifierKeycodes_[modifier] != 0) {
            fakeKey(modifierKeycodes_[modifier], true);
            heldModifierKeycodes_[modifier] = modifierKeycodes_[modifier];
            heldModifiers_ |= bit;
        }
    }
}

void X11Keyboard::giveBackIdle(double now) {
    for (auto keycode : spares_.takeIdle(now)) bind(keycode);
}

std::optional<double> X11Keyboard::nextDeadline() const {
    auto idle = spares_.nextIdle();
    if (!blocked_) return idle;
    auto free = spares_.nextFree(blockedOnWholeKey_);
    if (!idle || (free && *free < *idle)) return free;
    return idle;
}

void X11Keyboard::releaseEverything() {
    for (const auto& [holder, keycode] : heldKeys_) fakeKey(keycode, false);
    heldKeys_.clear();
    setModifiers(0);
    for (auto keycode : spares_.takeAllBound()) bind(keycode);
}

void X11Keyboard::bind(std::uint8_t keycode) {
    auto levels = spares_.binding(keycode);
    KeySym symbols[X11SpareKeycodes::levels] = {levels[0], levels[1]};
    XChangeKeyboardMapping(display_.get(), keycode, static_cast<int>(X11SpareKeycodes::levels), symbols, 1);
}

void X11Keyboard::fakeKey(std::uint8_t keycode, bool isDown) {
    XTestFakeKeyEvent(display_.get(), keycode, isDown ? True : False, CurrentTime);
}

} // namespace orvik::helper
