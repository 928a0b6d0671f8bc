#include "InputTestSupport.hpp"

namespace orvik::helper::testing {
namespace {

using Events = std::vector<RecordedInput>;

constexpr auto command = ModifierFlags::command;
constexpr auto shift = ModifierFlags::shift;
constexpr auto option = ModifierFlags::option;
constexpr auto control = ModifierFlags::control;
constexpr auto function = ModifierFlags::function;
constexpr ModifierFlags none{};

constexpr std::uint16_t commandKey = 0x37;
constexpr std::uint16_t shiftKey = 0x38;
constexpr std::uint16_t optionKey = 0x3A;
constexpr std::uint16_t controlKey = 0x3B;
constexpr std::uint16_t functionKey = 0x3F;

RecordedInput change(std::uint16_t key, ModifierFlags flags) {
    return RecordedInput::modifier(key, flags);
}
RecordedInput keyDown(std::uint16_t key, ModifierFlags flags) {
    return RecordedInput::key(key, true, flags);
}
RecordedInput keyUp(std::uint16_t key, ModifierFlags flags) {
    return RecordedInput::key(key, false, flags);
}

void key(ControlledInput& input, std::uint16_t code, KeyAction action, ModifierFlags modifiers = {}) {
    input.controller.key(KeyEvent{code, modifiers, action});
}

TEST(ModifierKeys, DownAndUpChangeTheHeldSetOnce) {
    ControlledInput input;
    key(input, shiftKey, KeyAction::down, command); // a modifier key's own modifiers are ignored
    key(input, shiftKey, KeyAction::down);
    key(input, optionKey, KeyAction::down);
    key(input, shiftKey, KeyAction::up);
    key(input, shiftKey, KeyAction::up);
    EXPECT_EQ(input.take(),
              (Events{change(shiftKey, shift), change(optionKey, shift | option), change(shiftKey, option)}));
    EXPECT_TRUE(input.controller.hasHeldInput());
}

TEST(ModifierKeys, APressTapsTheModifierWithoutHoldingIt) {
    ControlledInput input;
    key(input, controlKey, KeyAction::press);
    key(input, controlKey, KeyAction::down);
    key(input, controlKey, KeyAction::press); // already held: nothing
    key(input, functionKey, KeyAction::press);
    EXPECT_EQ(input.take(), (Events{change(controlKey, control), change(controlKey, none), change(controlKey, control),
                                    change(functionKey, control | function), change(functionKey, control)}));
}

TEST(RegularKeys, RightHandModifiersCapsLockAndUnnamedCodesAreRegularKeys) {
    ControlledInput input;
    for (std::uint16_t code : std::initializer_list<std::uint16_t>{0x3C, 0x36, 0x39, 0x0A, 0x7F})
        key(input, code, KeyAction::press);
    EXPECT_EQ(input.take(), (Events{keyDown(0x3C, none), keyUp(0x3C, none), keyDown(0x36, none), keyUp(0x36, none),
                                    keyDown(0x39, none), keyUp(0x39, none), keyDown(0x0A, none), keyUp(0x0A, none),
                                    keyDown(0x7F, none), keyUp(0x7F, none)}));
}

TEST(RegularKeys, CodesAbove127AreIgnored) {
    ControlledInput input;
    key(input, 128, KeyAction::down, command);
    key(input, 0xFFFF, KeyAction::press);
    EXPECT_TRUE(input.take().empty());
    EXPECT_FALSE(input.controller.hasHeldInput());
}

TEST(RegularKeys, HeldKeyPressesItsMissingModifiersUntilItComesUp) {
    ControlledInput input;
    key(input, 0, KeyAction::down, command);
    key(input, 0, KeyAction::down, command); // no repeat
    key(input, 0, KeyAction::up);            // the modifiers of the down are used
    key(input, 0, KeyAction::up);
    EXPECT_EQ(input.take(),
              (Events{change(commandKey, command), keyDown(0, command), keyUp(0, command), change(commandKey, none)}));
    EXPECT_FALSE(input.controller.hasHeldInput());
}

TEST(RegularKeys, PressGoesDownInTableOrderAndUpInReverse) {
    ControlledInput input;
    input.controller.press(KeyCombo{MacKey::v, command | option});
    EXPECT_EQ(input.take(),
              (Events{change(optionKey, option), change(commandKey, option | command), keyDown(9, option | command),
                      keyUp(9, option | command), change(commandKey, option), change(optionKey, none)}));

    key(input, 8, KeyAction::press, function | command | shift | option | control);
    auto all = function | command | shift | option | control;
    EXPECT_EQ(input.take(),
              (Events{change(controlKey, control), change(optionKey, control | option),
                      change(shiftKey, control | option | shift),
                      change(commandKey, control | option | shift | command), change(functionKey, all), keyDown(8, all),
                      keyUp(8, all), change(functionKey, all - function), change(commandKey, control | option | shift),
                      change(shiftKey, control | option), change(optionKey, control), change(controlKey, none)}));
}

TEST(RegularKeys, ExplicitlyHeldModifiersAreNotPressedAgain) {
    ControlledInput input;
    key(input, shiftKey, KeyAction::down);
    input.take();
    key(input, 0, KeyAction::press, shift | command);
    EXPECT_EQ(input.take(), (Events{change(commandKey, shift | command), keyDown(0, shift | command),
                                    keyUp(0, shift | command), change(commandKey, shift)}));
}

TEST(RegularKeys, AModifierSharedByTwoHeldKeysStaysDownUntilTheLastComesUp) {
    ControlledInput input;
    key(input, 0, KeyAction::down, command);
    key(input, 1, KeyAction::down, command | shift);
    key(input, 0, KeyAction::up);
    EXPECT_EQ(input.take(),
              (Events{change(commandKey, command), keyDown(0, command), change(shiftKey, command | shift),
                      change(commandKey, command | shift), keyDown(1, command | shift), keyUp(0, command)}));
    input.controller.press(KeyCombo{MacKey::c, command});
    // The key events carry the key's own modifiers; the change events the union with the other held keys'.
    EXPECT_EQ(input.take(), (Events{change(commandKey, command | shift), keyDown(8, command), keyUp(8, command)}));
    key(input, 1, KeyAction::up);
    EXPECT_EQ(input.take(), (Events{keyUp(1, command | shift), change(commandKey, shift), change(shiftKey, none)}));
}

TEST(UnicodeText, PostsOneDownAndOneUpEvenForAnEmptyText) {
    ControlledInput input;
    input.controller.typeUnicode(u"h\u00e9");
    input.controller.typeUnicode(u"");
    EXPECT_EQ(input.take(), (Events{RecordedInput::unicode("h\u00e9", true), RecordedInput::unicode("h\u00e9", false),
                                    RecordedInput::unicode("", true), RecordedInput::unicode("", false)}));
}

TEST(ReleaseAll, ButtonsThenKeysThenModifiersInReverseTableOrder) {
    ControlledInput input;
    input.controller.handleButton(ButtonEvent{MouseButton::left, ButtonAction::down});
    input.controller.handleButton(ButtonEvent{MouseButton::right, ButtonAction::down});
    key(input, shiftKey, KeyAction::down);
    key(input, 8, KeyAction::down, command);
    key(input, 3, KeyAction::down, control);
    input.take();

    input.controller.releaseAll();
    EXPECT_EQ(input.take(),
              (Events{up(MouseButton::right, 720, 450, 1), up(MouseButton::left, 720, 450, 1),
                      keyUp(3, control | shift), keyUp(8, command | shift), change(commandKey, control | shift),
                      change(shiftKey, control), change(controlKey, none)}));
    EXPECT_FALSE(input.controller.hasHeldInput());

    input.controller.releaseAll();
    EXPECT_TRUE(input.take().empty());
    // Everything released can be pressed again.
    key(input, 8, KeyAction::down, command);
    EXPECT_EQ(input.take(), (Events{change(commandKey, command), keyDown(8, command)}));
}

TEST(ReleaseAll, LeftButtonCommandAndKeyEight) {
    ControlledInput input;
    input.controller.handleButton(ButtonEvent{MouseButton::left, ButtonAction::down});
    key(input, 8, KeyAction::down, command);
    input.take();
    input.controller.releaseAll();
    EXPECT_EQ(input.take(), (Events{up(MouseButton::left, 720, 450, 1), keyUp(8, command), change(commandKey, none)}));
}

TEST(ReleaseAll, ButtonUpsCarryTheCurrentClickCount) {
    ControlledInput input;
    input.controller.handleButton(ButtonEvent{MouseButton::left, ButtonAction::click});
    input.controller.handleButton(ButtonEvent{MouseButton::left, ButtonAction::down});
    input.take();
    input.controller.releaseAll();
    EXPECT_EQ(input.take(), (Events{up(MouseButton::left, 720, 450, 2)}));
}

} // namespace
} // namespace orvik::helper::testing
