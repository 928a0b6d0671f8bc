#include "WaitUntil.hpp"
#include "X11SinkFixture.hpp"
#include "injection/InputController.hpp"
#include "injection/TextTyping.hpp"
#include "injection/x11/X11Unicode.hpp"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <chrono>
#include <thread>

namespace orvik::helper::x11test {
namespace {

std::string utf8(std::u16string_view text) {
    std::string result;
    for (char32_t character : X11Unicode::codePoints(text)) {
        result += X11EventRecorder::utf8(character < 0x100 ? character : 0x01000000 + character);
    }
    return result;
}

class SinkText : public X11SinkTest {
protected:
    InputController controller{sink, clock.function()};
    std::vector<KeySym> originalMap = recorder.keyboardMap();

    std::vector<Event> type(std::u16string_view text) {
        controller.typeUnicode(text);
        return settle();
    }
};

TEST_F(SinkText, charactersMissingFromTheKeyboardBorrowKeycodesUntilTypingHasStoppedForAWhile) {
    auto events = type(u"é€жü日本ß😀日");
    EXPECT_EQ(X11EventRecorder::typedText(events), "é€жü日本ß😀日");
    std::vector<unsigned> keycodesOfRepeat;
    for (const auto& press : X11EventRecorder::ofType(events, KeyPress)) {
        if (press.text == "日") keycodesOfRepeat.push_back(press.detail);
    }
    ASSERT_EQ(keycodesOfRepeat.size(), 2u);
    EXPECT_EQ(keycodesOfRepeat[0], keycodesOfRepeat[1]) << "a repeated character reuses its keycode";

    advance(X11SpareKeycodes::reuseDelay);
    EXPECT_NE(recorder.keyboardMap(), originalMap) << "still bound for applications that read late";
    advance(X11SpareKeycodes::giveBackDelay);
    EXPECT_EQ(recorder.keyboardMap(), originalMap) << "every borrowed keycode was given back";
}

TEST_F(SinkText, textTypedWithAModifierHeldComesOutPlainAndTheModifierStaysHeld) {
    controller.key({rawValue(MacKey::command), ModifierFlags(), KeyAction::down});
    auto events = type(u"xY€");
    EXPECT_EQ(X11EventRecorder::typedText(events), "xY€");
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

TEST_F(SinkText, controlCharactersOtherThanLineBreaksAndTabsAreSkipped) {
    EXPECT_EQ(X11EventRecorder::typedText(type(u"a\u0007b\tc\r\nd")), "ab\tc\n\nd");
}

// Whatever the layout and the Caps Lock state, what is sent arrives. Characters of the active group use their own
// keys (legacy keysyms such as Cyrillic_ya included); only the others borrow keycodes.
struct LayoutCase {
    const char* layout;
    std::u16string onKeys;
    std::u16string elsewhere;

    friend void PrintTo(const LayoutCase& row, std::ostream* out) { *out << row.layout; }
};

class SinkLayout : public SinkText, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(SinkLayout, textArrivesAsSentWithCapsLockOn) {
    setLayout(GetParam().layout);
    XkbLockModifiers(recorder.display(), XkbUseCoreKbd, LockMask, LockMask);
    XSync(recorder.display(), False);
    settle();
    auto map = recorder.keyboardMap();

    EXPECT_EQ(X11EventRecorder::typedText(type(GetParam().onKeys)), utf8(GetParam().onKeys));
    EXPECT_EQ(recorder.keyboardMap(), map) << "nothing was borrowed";
    // Keys are keys: the letter of the layout (on another key in fr, borrowed in ru), Caps Lock as it is.
    controller.press({MacKey::a, ModifierFlags::command});
    auto presses = X11EventRecorder::ofType(settle(), KeyPress);
    ASSERT_FALSE(presses.empty());
    EXPECT_EQ(presses.back().keysym, static_cast<KeySym>(XK_A));
    EXPECT_EQ(presses.back().state & (ControlMask | LockMask), static_cast<unsigned>(ControlMask | LockMask));
    EXPECT_EQ(X11EventRecorder::typedText(type(GetParam().elsewhere)), utf8(GetParam().elsewhere));
    XkbStateRec state{};
    XkbGetState(recorder.display(), XkbUseCoreKbd, &state);
    EXPECT_TRUE(state.locked_mods & LockMask) << "Caps Lock is on again";
}

INSTANTIATE_TEST_SUITE_P(Layouts, SinkLayout,
                         ::testing::Values(LayoutCase{"us", u"Hello, World! 1+1=2", u"äöü ß €"},
                                           LayoutCase{"de", u"aBäÖß?", u"é日"}, LayoutCase{"fr", u"aBé", u"äöüÉ"},
                                           LayoutCase{"ru", u"яЯ жЖ", u"rR"}),
                         [](const ::testing::TestParamInfo<LayoutCase>& row) { return std::string(row.param.layout); });

// An application that reads its queue only every half second still gets every character, also of text that
// needs more borrowed keycodes than the keyboard leaves free: the sink's own clock and thread.
TEST(SinkSlowReader, anApplicationHalfASecondBehindReadsEveryCharacter) {
    X11EventRecorder reader;
    std::u16string text;
    for (char16_t index = 0; index < 100; ++index) {
        text += static_cast<char16_t>(u'a' + index % 26);
        text += static_cast<char16_t>(0x4E00 + index);
    }
    auto sink = std::make_shared<CGEventSink>(0.4);
    InputController controller(sink);
    for (const auto& segment : TextTyping::segments(std::string(utf8(text)))) {
        controller.typeUnicode(std::get<TextTyping::Segment::Text>(segment.value).units);
    }

    std::vector<X11EventRecorder::Event> presses;
    orvik::test::waitUntil(
        [&] {
            for (const auto& press : X11EventRecorder::ofType(reader.take(), KeyPress)) {
                if (!IsModifierKey(press.keysym)) presses.push_back(press);
            }
            return presses.size() >= text.size();
        },
        std::chrono::seconds(60), [] { std::this_thread::sleep_for(std::chrono::milliseconds(500)); });
    EXPECT_EQ(X11EventRecorder::typedText(presses), utf8(text));
}

} // namespace
} // namespace orvik::helper::x11test
