#include "injection/x11/X11Keyboard.hpp"

#include "core/Log.hpp"
#include "injection/x11/X11Unicode.hpp"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
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

X11Keyboard::X11Keyboard(Display* display) : display_(display) {}

std::uint8_t X11Keyboard::modifiersFor(ModifierFlags flags) {
    std::uint8_t modifiers = 0;
    if (flags.contains(ModifierFlags::command) || flags.contains(ModifierFlags::control)) modifiers |= x11Control;
    if (flags.contains(ModifierFlags::option)) modifiers |= x11Alt;
    if (flags.contains(ModifierFlags::shift)) modifiers |= x11Shift;
    return modifiers;
}

bool X11Keyboard::ensureMap() {
    if (!mapStale_) return keymap_.isLoaded();
    mapStale_ = false;
    if (!keymap_.load(display_)) return false;
    if (!sparesAssigned_) {
        spares_.assign(keymap_.emptyKeycodes());
        sparesAssigned_ = true;
    } else {
        reconcileSpares();
    }
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

void X11Keyboard::reconcileSpares() {
    for (auto keycode : spares_.keycodes()) spares_.reconcile(keycode, keymap_.symbol(keycode, 0));
}

void X11Keyboard::mappingChanged() {
    mapStale_ = true;
}

std::optional<std::uint8_t> X11Keyboard::plainKeycode(std::uint32_t keysym) const {
    return keymap_.find(keysym, 0, [this](std::uint8_t keycode) { return isSpare(keycode); });
}

X11Keyboard::LevelState X11Keyboard::levelState() const {
    XkbStateRec state{};
    if (XkbGetState(display_, XkbUseCoreKbd, &state) != Success) return {};
    return {state.group, (state.locked_mods & LockMask) != 0};
}

std::optional<X11Keyboard::Placement> X11Keyboard::placeOnKeyboard(std::uint32_t keysym, LevelState state) const {
    // The core map shows only the first two groups' first two levels; other characters go through a spare.
    if (state.group >= groupsWithCoreLevels) return std::nullopt;
    auto skipSpares = [this](std::uint8_t keycode) { return isSpare(keycode); };
    std::optional<Placement> placement;
    if (auto plain = keymap_.find(keysym, 2 * state.group, skipSpares)) {
        placement = Placement{*plain, false};
    } else if (auto shifted = keymap_.find(keysym, 2 * state.group + 1, skipSpares)) {
        placement = Placement{*shifted, true};
    }
    if (placement && state.capsLock) {
        // Caps Lock swaps the levels of letters, so a letter needs the other level to come out as asked.
        KeySym lower = NoSymbol;
        KeySym upper = NoSymbol;
        XConvertCase(keysym, &lower, &upper);
        if (lower != upper) placement->shifted = !placement->shifted;
    }
    return placement;
}

std::optional<std::uint8_t> X11Keyboard::spareFor(std::uint32_t keysym, double now, bool& blocked) {
    blocked = false;
    auto lease = spares_.lease(keysym, now);
    if (!lease) {
        blocked = spares_.canEverLease();
        if (!blocked && !reportedNoSpare_) {
            Log::error("Input", "No spare keycode to type a character the keyboard lacks");
            reportedNoSpare_ = true;
        }
        return std::nullopt;
    }
    if (lease->needsBinding) bind(lease->keycode, keysym);
    return lease->keycode;
}

bool X11Keyboard::key(int holder, std::uint32_t keysym, bool isDown, std::optional<std::uint8_t> modifiers,
                      double now) {
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
        bool blocked = false;
        keycode = spareFor(keysym, now, blocked);
        if (!keycode) return !blocked;
        spares_.pressed(*keycode);
    }
    if (modifiers) setModifiers(*modifiers);
    fakeKey(*keycode, true);
    heldKeys_[holder] = *keycode;
    return true;
}

bool X11Keyboard::type(const std::u32string& text, std::size_t& next, double now) {
    if (!ensureMap()) {
        next = text.size();
        return true;
    }
    auto state = levelState();
    auto before = heldModifiers_;
    bool finished = true;
    for (; next < text.size(); ++next) {
        if (!typeCharacter(text[next], state, now)) {
            finished = false;
            break;
        }
    }
    setModifiers(before);
    return finished;
}

bool X11Keyboard::typeCharacter(char32_t character, LevelState state, double now) {
    auto keysym = X11Unicode::keysym(character);
    if (keysym == 0) return true;
    if (auto placement = placeOnKeyboard(keysym, state)) {
        setModifiers(placement->shifted ? x11Shift : 0);
        fakeKey(placement->keycode, true);
        fakeKey(placement->keycode, false);
        return true;
    }
    bool blocked = false;
    auto keycode = spareFor(keysym, now, blocked);
    if (!keycode) return !blocked;
    setModifiers(0);
    fakeKey(*keycode, true);
    fakeKey(*keycode, false);
    spares_.used(*keycode, now);
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

void X11Keyboard::restoreDue(double now) {
    for (auto keycode : spares_.takeDue(now)) bind(keycode, 0);
}

void X11Keyboard::releaseEverything() {
    for (const auto& [holder, keycode] : heldKeys_) fakeKey(keycode, false);
    heldKeys_.clear();
    setModifiers(0);
    for (auto keycode : spares_.takeAllBound()) bind(keycode, 0);
}

void X11Keyboard::bind(std::uint8_t keycode, std::uint32_t keysym) {
    // Both levels carry the keysym, so no Shift state can turn it into another character.
    KeySym symbols[2] = {keysym, keysym};
    XChangeKeyboardMapping(display_, keycode, 2, symbols, 1);
}

void X11Keyboard::fakeKey(std::uint8_t keycode, bool isDown) {
    XTestFakeKeyEvent(display_, keycode, isDown ? True : False, CurrentTime);
}

} // namespace orvik::helper
