#pragma once

#include "core/ServerClock.hpp"
#include "injection/ClickCounter.hpp"
#include "injection/InputSink.hpp"
#include "orvik/protocol/keys/KeyCombo.hpp"
#include "orvik/protocol/keys/MacKey.hpp"
#include "orvik/protocol/keys/ModifierFlags.hpp"
#include "orvik/protocol/messages/InputMessages.hpp"
#include "preferences/ScrollMode.hpp"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace orvik::helper {

// Turns the phone's live input into single sink calls, keeping what the phone does not send: where the
// pointer is, which buttons, keys and modifiers are down, click counts and fractional scroll. Input that
// cannot be applied is ignored silently. Not thread-safe: the server calls it from its own thread only.
class InputController {
public:
    // The largest relative motion or scroll amount accepted per axis in one message, in points.
    static constexpr double maxDelta = 10000;
    // After a pause this long the pointer is read back from the desktop, so local mouse motion counts.
    static constexpr double resyncInterval = 0.25;

    // The server passes its own clock, so that both share one time base.
    explicit InputController(std::shared_ptr<InputSink> sink, ServerClock now = systemUptimeClock());

    void movePointer(float dx, float dy);
    void movePointerAbsolute(const PointerAbsolute& pointer);
    void handleButton(const ButtonEvent& event);
    void scroll(const ScrollEvent& event);
    void key(const KeyEvent& event);
    // A press of the combination: missing modifiers go down first and come up after the key.
    void press(const KeyCombo& combo);
    void typeUnicode(std::u16string_view units);
    // Lets go of every button, key and modifier still down, and forgets the scroll remainder.
    void releaseAll();

    bool hasHeldInput() const;
    ScrollMode scrollMode() const { return scrollMode_; }
    // Takes effect with the next scroll; the remainder and last direction stay.
    void setScrollMode(ScrollMode mode) { scrollMode_ = mode; }

private:
    static double limited(float value);

    DisplayPoint currentPosition();
    void postMotion(DisplayPoint target, DisplayPoint previous);
    void postClick(MouseButton button, DisplayPoint at, int count);
    void modifierKey(std::uint16_t keyCode, ModifierFlags flag, KeyAction action);
    void regularKey(std::uint16_t keyCode, ModifierFlags requested, KeyAction action);
    ModifierFlags pressModifiers(ModifierFlags set);
    void releaseModifiers(ModifierFlags set);
    ModifierFlags activeKeyModifiers() const;

    // Modifiers go down in this order and come up in reverse.
    static const std::array<std::pair<ModifierFlags, MacKey>, 5> modifierKeys;

    std::shared_ptr<InputSink> sink_;
    ServerClock now_;
    std::optional<DisplayPoint> position_;
    // position_ is where the pointer really is (the desktop's answer, or placed by an absolute move), not the last
    // place a sink knew while it asked the desktop.
    bool positionSettled_ = true;
    double lastInjection_;
    std::vector<MouseButton> heldButtons_; // oldest first
    ClickCounter clicks_;
    DisplayVector scrollRemainder_{0, 0};
    DisplayVector lastScrollDirection_{0, 1};
    ModifierFlags heldModifiers_;
    // Each regular key held down, with the modifiers pressed on its behalf.
    std::map<std::uint16_t, ModifierFlags> heldKeys_;
    ScrollMode scrollMode_ = ScrollMode::phaseless;
};

} // namespace orvik::helper
