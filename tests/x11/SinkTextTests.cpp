#include "X11SinkFixture.hpp"
#include "injection/InputController.hpp"
#include "injection/x11/X11SpareKeycodes.hpp"

#include <chrono>
#include <thread>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace orvik::helper::x11test {
namespace {

constexpr double pastRestoreDelay = X11SpareKeycodes::restoreDelay + 0.001;

class SinkTextTest : public X11SinkTest {
protected:
    InputController controller{sink, clock.function()};
    std::vector<KeySym> originalMap = recorder.keyboardMap();

    void type(std::u16string_view text) { controller.typeUnicode(text); }
};

TEST_F(SinkTextTest, charactersMissingFromTheKeyboardAreTypedExactly) {
    type(u"é€жü日本ß😀");
    auto events = settle();
    EXPECT_EQ(X11EventRecorder::typedText(events), "é€жü日本ß😀");
    EXPECT_NE(recorder.keyboardMap(), originalMap) << "borrowed keycodes are still bound";

    advance(pastRestoreDelay);
    EXPECT_EQ(recorder.keyboardMap(), originalMap) << "every borrowed keycode was given back";
    EXPECT_EQ(sink->nextDueTime(), std::nullopt);
}

TEST_F(SinkTextTest, charactersOnTheKeyboardUseTheirOwnKeysAndLevels) {
    type(u"Hello, World! 1+1=2 \"ok\"");
    auto events = settle();
    EXPECT_EQ(X11EventRecorder::typedText(events), "Hello, World! 1+1=2 \"ok\"");
    EXPECT_EQ(recorder.keyboardMap(), originalMap) << "nothing was borrowed";
    for (const auto& press : X11EventRecorder::ofType(events, KeyPress)) {
        if (press.keysym == XK_H) {
            EXPECT_TRUE(press.state & ShiftMask);
        }
        if (press.keysym == XK_e) {
            EXPECT_FALSE(press.state & ShiftMask);
        }
    }
    EXPECT_EQ(recorder.pressedKeys(), std::vector<unsigned>{});
}

TEST_F(SinkTextTest, capsLockDoesNotChangeTheCaseOfTypedLetters) {
    XkbLockModifiers(recorder.display(), XkbUseCoreKbd, LockMask, LockMask);
    XSync(recorder.display(), False);
    type(u"aB");
    EXPECT_EQ(X11EventRecorder::typedText(settle()), "aB");
    XkbLockModifiers(recorder.display(), XkbUseCoreKbd, LockMask, 0);
    XSync(recorder.display(), False);
}

TEST_F(SinkTextTest, textTypedWithAModifierHeldComesOutPlainAndTheModifierStaysHeld) {
    controller.key({rawValue(MacKey::command), ModifierFlags(), KeyAction::down});
    type(u"xY€");
    auto events = settle();
    EXPECT_EQ(X11EventRecorder::typedText(events), std::string("xY") + "€");
    for (const auto& press : X11EventRecorder::ofType(events, KeyPress)) {
        if (!IsModifierKey(press.keysym)) {
            EXPECT_FALSE(press.state & ControlMask) << press.text;
        }
    }
    EXPECT_TRUE(recorder.pointer().mask & ControlMask);
    controller.releaseAll();
    settle();
    EXPECT_EQ(recorder.pointer().mask & ControlMask, 0u);
}

TEST_F(SinkTextTest, textNeedingMoreKeycodesThanAreFreeWaitsAndKeepsItsOrder) {
    // 40 distinct CJK characters need more keycodes than Xvfb's keyboard leaves free (19).
    std::u16string text;
    for (char16_t character = 0x4E00; character < 0x4E00 + 40; ++character) text += character;
    type(text);
    controller.press({MacKey::returnKey, ModifierFlags()});

    std::string typed;
    for (int round = 0; round < 10 && sink->nextDueTime(); ++round) {
        typed += X11EventRecorder::typedText(settle());
        advance(pastRestoreDelay);
    }
    typed += X11EventRecorder::typedText(settle());

    std::string expected;
    for (char32_t character = 0x4E00; character < 0x4E00 + 40; ++character) {
        expected += X11EventRecorder::utf8(0x01000000 + character);
    }
    EXPECT_EQ(typed, expected + "\n") << "the Return pressed after the text comes after all of it";
    EXPECT_EQ(recorder.keyboardMap(), originalMap);
}

// With the production clock and thread the sink finishes waiting text and gives its keycodes back by itself.
// Only that it gets there is checked here; how fast, and whether a prompt application reads every character
// right, is what bench_x11_input measures.
TEST(SinkTimerThreadTest, finishesWaitingTextAndGivesTheKeycodesBack) {
    X11EventRecorder recorder;
    auto originalMap = recorder.keyboardMap();
    auto sink = std::make_shared<CGEventSink>(0.4);
    std::u16string text;
    for (char16_t character = 0x4E00; character < 0x4E00 + 40; ++character) text += character;
    sink->postUnicode(text, true);

    std::size_t presses = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((presses < text.size() || recorder.keyboardMap() != originalMap) &&
           std::chrono::steady_clock::now() < deadline) {
        sink->cursorLocation();
        presses += X11EventRecorder::ofType(recorder.take(), KeyPress).size();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(presses, text.size());
    EXPECT_EQ(recorder.keyboardMap(), originalMap);
}

TEST_F(SinkTextTest, aRepeatedCharacterReusesItsKeycode) {
    type(u"日日日");
    auto events = settle();
    EXPECT_EQ(X11EventRecorder::typedText(events), "日日日");
    auto presses = X11EventRecorder::ofType(events, KeyPress);
    ASSERT_EQ(presses.size(), 3u);
    EXPECT_EQ(presses[0].detail, presses[2].detail);
}

TEST_F(SinkTextTest, controlCharactersOtherThanLineBreaksAndTabsAreSkipped) {
    type(u"a\u0007b\tc\r\nd");
    EXPECT_EQ(X11EventRecorder::typedText(settle()), "ab\tc\n\nd");
}

} // namespace
} // namespace orvik::helper::x11test
