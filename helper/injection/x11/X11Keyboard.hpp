#pragma once

#include "injection/x11/X11Keymap.hpp"
#include "injection/x11/X11SpareKeycodes.hpp"
#include "orvik/protocol/keys/ModifierFlags.hpp"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace orvik::helper {

class X11Display;

// The modifiers the X server sees, as a set of these bits.
enum X11Modifier : std::uint8_t { x11Shift = 1, x11Control = 2, x11Alt = 4 };

// Posts keys and text through XTest on the sink's connection, on the sink's X thread only.
//
// A key's keysym is pressed with the keycode that has it at the plain level of the first group, looked up in the
// server's current map (so it follows the layout). A character of text uses the keycode and level (plain or
// Shift) that type it in the active group; Caps Lock is off while text is typed and back on afterwards (each
// event carries the lock state, so applications that read late still see it off). Whatever the keyboard lacks
// is bound to a spare keycode and pressed there (X11SpareKeycodes). The X modifier keys (Shift, Control, Alt) are
// pressed and released so that the server's modifier state is exactly the one each event asks for; only
// modifiers this keyboard pressed itself are ever released, and text is typed with none of them held.
class X11Keyboard {
public:
    explicit X11Keyboard(X11Display& display);

    // command and control → Control, option → Alt, shift → Shift, function → none.
    static std::uint8_t modifiersFor(ModifierFlags flags);

    // Presses or releases `keysym` on behalf of `holder` (an identifier the caller picks per key, so the release
    // finds the keycode of the press), first setting the modifiers to `modifiers` when given. False when a spare
    // keycode is needed and none is free yet: nothing was posted, try again later.
    bool key(int holder, std::uint32_t keysym, bool isDown, std::optional<std::uint8_t> modifiers, double now);
    // Types `text` from `next` on, advancing `next`; false when it stopped at a character that waits for a spare
    // keycode. The modifiers in force before come back afterwards.
    bool type(const std::u32string& text, std::size_t& next, double now);
    void setModifiers(std::uint8_t modifiers);

    // The server's keyboard or modifier map changed (MappingNotify).
    void mappingChanged() { mapStale_ = true; }
    // Gives back the spare keycodes that have been idle long enough.
    void giveBackIdle(double now);
    // When waiting input may go on or idle spares go back; absent when nothing will come due.
    std::optional<double> nextDeadline() const;
    std::optional<double> latestSpareUse() const { return spares_.latestUse(); }

    // Releases every key and modifier this keyboard holds and gives back every spare keycode.
    void releaseEverything();

private:
    struct Placement {
        std::uint8_t keycode = 0;
        bool shifted = false;
    };

    bool ensureMap();
    // The effective group and whether Caps Lock is locked.
    std::pair<int, bool> levelState() const;
    std::optional<Placement> placeOnKeyboard(std::uint32_t keysym, int group) const;
    std::optional<std::uint8_t> plainKeycode(std::uint32_t keysym) const;
    // A spare place bound to `keysym`; absent when none is free now (blocked_ tells whether one will be).
    std::optional<X11SpareKeycodes::Lease> spareFor(std::uint32_t keysym, bool wholeKey, double now);
    bool typeCharacter(char32_t character, int group, double now);
    void bind(std::uint8_t keycode);
    void fakeKey(std::uint8_t keycode, bool isDown);
    bool isSpare(std::uint8_t keycode) const { return spares_.contains(keycode); }

    X11Display& display_;
    X11Keymap keymap_;
    bool mapStale_ = true;
    X11SpareKeycodes spares_;
    // Waiting for a spare: for a level, or a whole keycode.
    bool blocked_ = false;
    bool blockedOnWholeKey_ = false;
    // Keycodes of Shift, Control and Alt (0 when the keyboard has none), in that order.
    std::array<std::uint8_t, 3> modifierKeycodes_{};
    std::uint8_t heldModifiers_ = 0;
    std::array<std::uint8_t, 3> heldModifierKeycodes_{};
    std::map<int, std::uint8_t> heldKeys_;
    bool reportedNoSpare_ = false;
};

} // namespace orvik::helper
