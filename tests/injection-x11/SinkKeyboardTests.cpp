#include "X11SinkFixture.hpp"
#include "injection/InputController.hpp"
#include "injection/MediaKeyEncoding.hpp"
#include "orvik/protocol/keys/KeyCombo.hpp"

#include <X11/XF86keysym.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace orvik::helper::x11test {
namespace {

constexpr unsigned modifierMask = ShiftMask | ControlMask | Mod1Mask;

class SinkKeyboard : public X11SinkTest {
protected:
    InputController controller{sink, clock.function()};

    std::vector<Event> presses(const std::vector<Event>& events) { return X11EventRecorder::ofType(events, KeyPress); }

    // The press of the one key in `events` whose keysym is not a modifier's.
    Event keyPress(const std::vector<Event>& events) {
        for (const auto& event : presses(events)) {
            if (!IsModifierKey(event.keysym)) return event;
        }
        ADD_FAILURE() << "no key press";
        return {};
    }

    void expectNothingHeld() {
        EXPECT_EQ(recorder.pressedKeys(), std::vector<unsigned>{});
        EXPECT_EQ(recorder.pointer().mask & (modifierMask | Button1Mask | Button2Mask | Button3Mask), 0u);
    }
};

TEST_F(SinkKeyboard, combosCarryTheMappedModifiersOnTheKeyPress) {
    struct Case {
        KeyCombo combo;
        KeySym keysym;
        unsigned state;
    };
    const Case cases[] = {
        {{MacKey::v, ModifierFlags::command}, XK_v, ControlMask},
        {{MacKey::c, ModifierFlags::control}, XK_c, ControlMask},
        {{MacKey::z, ModifierFlags::command | ModifierFlags::shift}, XK_Z, ControlMask | ShiftMask},
        {{MacKey::a, ModifierFlags::option}, XK_a, Mod1Mask},
        {{MacKey::tab, ModifierFlags::command | ModifierFlags::control}, XK_Tab, ControlMask},
        {{MacKey::f5, ModifierFlags::function}, XK_F5, 0},
        {{MacKey::returnKey, ModifierFlags()}, XK_Return, 0},
        {{MacKey::leftArrow, ModifierFlags::shift | ModifierFlags::option}, XK_Left, ShiftMask | Mod1Mask},
    };
    for (const auto& testCase : cases) {
        controller.press(testCase.combo);
        auto events = settle();
        auto press = keyPress(events);
        EXPECT_EQ(press.keysym, testCase.keysym) << name(testCase.combo.key);
        EXPECT_EQ(press.state & modifierMask, testCase.state) << name(testCase.combo.key);
        expectNothingHeld();
    }
}

// F13 is not on Xvfb's keyboard (a borrowed keycode); right shift is a regular key here; media keys are their
// XF86 keysyms. Codes that name no key post nothing, not even the modifiers asked for.
TEST_F(SinkKeyboard, keysBeyondTheKeyboardRightHandModifiersAndMediaKeysArePressedAndNoKeysAreNot) {
    controller.key({0x34, ModifierFlags(), KeyAction::press});
    controller.key({0x3F, ModifierFlags(), KeyAction::press}); // fn
    controller.key({200, ModifierFlags(), KeyAction::press});
    sink->postKey(0x34, true, ModifierFlags::shift);
    sink->postMediaKey(99, true);
    controller.key({0x69, ModifierFlags::command, KeyAction::press});
    controller.key({0x3C, ModifierFlags(), KeyAction::press});
    sink->postMediaKey(MediaKeyEncoding::play, true);
    sink->postMediaKey(MediaKeyEncoding::play, false);
    auto pressed = presses(settle());
    ASSERT_EQ(pressed.size(), 4u);
    EXPECT_EQ(pressed[0].keysym, XK_Control_L);
    EXPECT_EQ(pressed[1].keysym, XK_F13);
    EXPECT_EQ(pressed[1].state & modifierMask, static_cast<unsigned>(ControlMask));
    EXPECT_EQ(pressed[2].keysym, XK_Shift_R);
    EXPECT_EQ(pressed[3].keysym, static_cast<KeySym>(XF86XK_AudioPlay));
    expectNothingHeld();
}

TEST_F(SinkKeyboard, heldModifiersFollowEveryChange) {
    controller.key({rawValue(MacKey::shift), ModifierFlags(), KeyAction::down});
    controller.key({rawValue(MacKey::command), ModifierFlags(), KeyAction::down});
    settle();
    EXPECT_EQ(recorder.pointer().mask & modifierMask, static_cast<unsigned>(ShiftMask | ControlMask));
    controller.key({rawValue(MacKey::control), ModifierFlags(), KeyAction::down});
    controller.key({rawValue(MacKey::command), ModifierFlags(), KeyAction::up});
    settle();
    EXPECT_EQ(recorder.pointer().mask & modifierMask, static_cast<unsigned>(ShiftMask | ControlMask))
        << "control still holds Control";
    controller.key({rawValue(MacKey::control), ModifierFlags(), KeyAction::up});
    controller.key({rawValue(MacKey::shift), ModifierFlags(), KeyAction::up});
    settle();
    expectNothingHeld();
}

TEST_F(SinkKeyboard, releaseAllLetsGoOfEverything) {
    sink->postMouse(MouseEventKind::moved, std::nullopt, {300, 300}, 0, {});
    controller.handleButton({MouseButton::left, ButtonAction::down});
    controller.handleButton({MouseButton::right, ButtonAction::down});
    controller.key({rawValue(MacKey::option), ModifierFlags(), KeyAction::down});
    controller.key({0x69, ModifierFlags(), KeyAction::down}); // F13, on a borrowed keycode
    controller.key({rawValue(MacKey::a), ModifierFlags::command, KeyAction::down});
    sink->postMediaKey(MediaKeyEncoding::play, true);
    settle();
    auto state = recorder.pointer();
    EXPECT_EQ(state.mask & (Button1Mask | Button3Mask | ControlMask | Mod1Mask),
              static_cast<unsigned>(Button1Mask | Button3Mask | ControlMask | Mod1Mask));
    EXPECT_EQ(recorder.pressedKeys().size(), 5u) << "Alt, F13, Control, a and Play";

    controller.releaseAll();
    sink->postMediaKey(MediaKeyEncoding::play, false);
    settle();
    expectNothingHeld();
}

using SinkLifetime = X11SinkTest;

TEST_F(SinkLifetime, destroyingTheSinkReleasesWhatItHolds) {
    sink->postMouse(MouseEventKind::down, MouseButton::left, {100, 100}, 1, {});
    sink->postKey(rawValue(MacKey::x), true, ModifierFlags::command | ModifierFlags::option);
    settle();
    EXPECT_FALSE(recorder.pressedKeys().empty());
    sink.reset();
    XSync(recorder.display(), False);
    EXPECT_EQ(recorder.pressedKeys(), std::vector<unsigned>{});
    EXPECT_EQ(recorder.pointer().mask & (modifierMask | Button1Mask), 0u);
}

} // namespace
} // namespace orvik::helper::x11test
