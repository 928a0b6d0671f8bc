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
constexpr auto all = function | command | shift | option | control;

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

constexpr auto downAction = KeyAction::down;
constexpr auto upAction = KeyAction::up;
constexpr auto pressAction = KeyAction::press;

// Key messages sent one after the other, and the events they post, with what is still held afterwards.
struct KeyCase {
    const char* name;
    std::vector<KeyEvent> messages;
    Events expected;
    bool heldAfter = false;

    friend void PrintTo(const KeyCase& sequence, std::ostream* out) { *out << sequence.name; }
};

class KeySequences : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeySequences, PostTheirEventsInOrder) {
    ControlledInput input;
    for (const auto& message : GetParam().messages) input.controller.key(message);
    EXPECT_EQ(input.take(), GetParam().expected);
    EXPECT_EQ(input.controller.hasHeldInput(), GetParam().heldAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeySequences,
    ::testing::Values(
        // A modifier key's own modifiers are ignored; a second down or an up of a free one posts nothing.
        KeyCase{"modifierDownAndUpChangeTheHeldSetOnce",
                {{shiftKey, command, downAction},
                 {shiftKey, none, downAction},
                 {optionKey, none, downAction},
                 {shiftKey, none, upAction},
                 {shiftKey, none, upAction}},
                {change(shiftKey, shift), change(optionKey, shift | option), change(shiftKey, option)},
                true},
        KeyCase{"aModifierPressTapsItWithoutHoldingIt",
                {{controlKey, none, pressAction},
                 {controlKey, none, downAction},
                 {controlKey, none, pressAction},
                 {functionKey, none, pressAction}},
                {change(controlKey, control), change(controlKey, none), change(controlKey, control),
                 change(functionKey, control | function), change(functionKey, control)},
                true},
        KeyCase{"rightHandModifiersCapsLockAndUnnamedCodesAreRegularKeys",
                {{0x3C, none, pressAction}, {0x39, none, pressAction}, {0x7F, none, pressAction}},
                {keyDown(0x3C, none), keyUp(0x3C, none), keyDown(0x39, none), keyUp(0x39, none), keyDown(0x7F, none),
                 keyUp(0x7F, none)}},
        KeyCase{"codesAbove127AreIgnored", {{128, command, downAction}, {0xFFFF, none, pressAction}}, {}},
        // No repeat of a held key; the up uses the modifiers of the down.
        KeyCase{"aHeldKeyPressesItsMissingModifiersUntilItComesUp",
                {{0, command, downAction}, {0, command, downAction}, {0, none, upAction}, {0, none, upAction}},
                {change(commandKey, command), keyDown(0, command), keyUp(0, command), change(commandKey, none)}},
        KeyCase{"pressGoesDownInTableOrderAndUpInReverse",
                {{8, all, pressAction}},
                {change(controlKey, control), change(optionKey, control | option),
                 change(shiftKey, control | option | shift), change(commandKey, control | option | shift | command),
                 change(functionKey, all), keyDown(8, all), keyUp(8, all), change(functionKey, all - function),
                 change(commandKey, control | option | shift), change(shiftKey, control | option),
                 change(optionKey, control), change(controlKey, none)}},
        KeyCase{"explicitlyHeldModifiersAreNotPressedAgain",
                {{shiftKey, none, downAction}, {0, shift | command, pressAction}},
                {change(shiftKey, shift), change(commandKey, shift | command), keyDown(0, shift | command),
                 keyUp(0, shift | command), change(commandKey, shift)},
                true},
        // Key events carry the key's own modifiers; changes the union with the other held keys'.
        KeyCase{"aModifierSharedByTwoHeldKeysStaysDownUntilTheLastComesUp",
                {{0, command, downAction},
                 {1, command | shift, downAction},
                 {0, none, upAction},
                 {8, command, pressAction},
                 {1, none, upAction}},
                {change(commandKey, command), keyDown(0, command), change(shiftKey, command | shift),
                 change(commandKey, command | shift), keyDown(1, command | shift), keyUp(0, command),
                 change(commandKey, command | shift), keyDown(8, command), keyUp(8, command), keyUp(1, command | shift),
                 change(commandKey, shift), change(shiftKey, none)}}),
    [](const ::testing::TestParamInfo<KeyCase>& row) { return std::string(row.param.name); });

TEST(UnicodeText, PostsOneDownAndOneUpEvenForAnEmptyText) {
    ControlledInput input;
    input.controller.typeUnicode(u"h\u00e9");
    input.controller.typeUnicode(u"");
    EXPECT_EQ(input.take(), (Events{RecordedInput::unicode("h\u00e9", true), RecordedInput::unicode("h\u00e9", false),
                                    RecordedInput::unicode("", true), RecordedInput::unicode("", false)}));
}

TEST(ReleaseAll, ButtonsThenKeysThenModifiersInReverseTableOrder) {
    ControlledInput input;
    input.controller.handleButton(ButtonEvent{MouseButton::right, ButtonAction::down});
    input.controller.handleButton(ButtonEvent{MouseButton::left, ButtonAction::click});
    input.controller.handleButton(ButtonEvent{MouseButton::left, ButtonAction::down});
    input.controller.key({shiftKey, none, downAction});
    input.controller.key({8, command, downAction});
    input.controller.key({3, control, downAction});
    input.take();

    input.controller.releaseAll();
    // The latest button first; the ups carry the current click count (the left press was a double click).
    EXPECT_EQ(input.take(),
              (Events{up(MouseButton::left, 720, 450, 2), up(MouseButton::right, 720, 450, 2),
                      keyUp(3, control | shift), keyUp(8, command | shift), change(commandKey, control | shift),
                      change(shiftKey, control), change(controlKey, none)}));
    EXPECT_FALSE(input.controller.hasHeldInput());

    input.controller.releaseAll();
    EXPECT_TRUE(input.take().empty());
    input.controller.key({8, command, downAction});
    EXPECT_EQ(input.take(), (Events{change(commandKey, command), keyDown(8, command)})) << "pressed again";
}

// Where the pointer is matters only to a button's release: with none held the sink is not asked, though the
// controller's own idea of the place is old.
TEST(ReleaseAll, AsksWhereThePointerIsOnlyToReleaseAButton) {
    ControlledInput input;
    input.controller.key({8, command, downAction});
    input.clock += 1;
    const auto reads = input.sink->cursorReads();
    input.controller.releaseAll();
    EXPECT_EQ(input.sink->cursorReads(), reads) << "keys only";

    input.controller.handleButton(ButtonEvent{MouseButton::left, ButtonAction::down});
    input.clock += 1;
    input.sink->setCursor({10, 20});
    input.take();
    input.controller.releaseAll();
    EXPECT_EQ(input.take(), (Events{up(MouseButton::left, 10, 20, 1)})) << "released where the pointer really is";
}

} // namespace
} // namespace orvik::helper::testing
