#include "WaitUntil.hpp"
#include "hotkey/X11GlobalHotKey.hpp"

#include <QCoreApplication>
#include <gtest/gtest.h>

// Last: Xlib's macros (None, Bool, Status) would change names in the headers above.
#include "platform/X11Display.hpp"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <memory>
#include <vector>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;

// Another X client that types on the keyboard through XTest.
class Keyboard {
public:
    Keyboard() : display_(X11Display::open()) { XAutoRepeatOn(display_->get()); }

    Display* get() const { return display_->get(); }

    void key(KeySym keysym, bool down) {
        XTestFakeKeyEvent(get(), XKeysymToKeycode(get(), keysym), down ? True : False, CurrentTime);
        XSync(get(), False);
    }
    void tap(KeySym keysym) {
        key(keysym, true);
        key(keysym, false);
    }
    // Holds `modifiers`, presses P, waits `held` while the GUI runs, then releases everything.
    void chord(const std::vector<KeySym>& modifiers, std::chrono::milliseconds held = 0ms) {
        for (KeySym modifier : modifiers) key(modifier, true);
        key(XK_p, true);
        if (held > 0ms) {
            const auto until = std::chrono::steady_clock::now() + held;
            test::waitUntil([&] { return std::chrono::steady_clock::now() >= until; }, held + 1s,
                            [] { QCoreApplication::processEvents(); });
        }
        key(XK_p, false);
        for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) key(*it, false);
    }

private:
    std::unique_ptr<X11Display> display_;
};

const std::vector<KeySym> shortcut{XK_Control_L, XK_Alt_L, XK_Super_L};

class GlobalHotKeyX11 : public testing::Test {
protected:
    void SetUp() override {
        hotKey = std::make_unique<X11GlobalHotKey>();
        hotKey->setOnPress([this] { ++presses; });
    }

    // The shortcut pressed once more must arrive as exactly one press after `expected` earlier ones; X delivers
    // events in order, so nothing from an earlier chord can still be on its way.
    void expectPressesThenOneMore(int expected) {
        keyboard.chord(shortcut);
        ASSERT_TRUE(
            test::waitUntil([&] { return presses > expected; }, 10s, [] { QCoreApplication::processEvents(); }));
        EXPECT_EQ(presses, expected + 1);
    }

    Keyboard keyboard;
    std::unique_ptr<X11GlobalHotKey> hotKey;
    int presses = 0;
};

TEST_F(GlobalHotKeyX11, EachPressOfTheShortcutTogglesOnce) {
    hotKey->setEnabled(true);
    ASSERT_TRUE(hotKey->isGrabbed());
    expectPressesThenOneMore(0);
    expectPressesThenOneMore(1);
}

TEST_F(GlobalHotKeyX11, WithShiftAddedItIsAnotherShortcut) {
    hotKey->setEnabled(true);
    keyboard.chord({XK_Control_L, XK_Alt_L, XK_Super_L, XK_Shift_L});
    keyboard.chord({XK_Control_L, XK_Alt_L});
    expectPressesThenOneMore(0);
}

TEST_F(GlobalHotKeyX11, CapsLockAndNumLockDoNotMatter) {
    hotKey->setEnabled(true);
    keyboard.tap(XK_Caps_Lock);
    expectPressesThenOneMore(0);
    keyboard.tap(XK_Num_Lock);
    expectPressesThenOneMore(1);
    keyboard.tap(XK_Caps_Lock);
    expectPressesThenOneMore(2);
    keyboard.tap(XK_Num_Lock);
}

TEST_F(GlobalHotKeyX11, HoldingTheShortcutWhileTheKeyRepeatsTogglesOnce) {
    hotKey->setEnabled(true);
    keyboard.chord(shortcut, 1500ms);
    expectPressesThenOneMore(1);
}

TEST_F(GlobalHotKeyX11, DisabledItGrabsNothingAndEnabledAgainItWorks) {
    hotKey->setEnabled(true);
    hotKey->setEnabled(false);
    EXPECT_FALSE(hotKey->isEnabled());
    // Another client can take the key meanwhile, so nothing of ours still holds it.
    auto other = X11Display::open();
    const auto errorsBefore = other->errorCount();
    XGrabKey(other->get(), XKeysymToKeycode(other->get(), XK_p), ControlMask | Mod1Mask | Mod4Mask, other->root(),
             False, GrabModeAsync, GrabModeAsync);
    EXPECT_TRUE(other->syncSucceeded(errorsBefore));
    other.reset();
    keyboard.chord(shortcut);
    hotKey->setEnabled(true);
    expectPressesThenOneMore(0);
}

TEST_F(GlobalHotKeyX11, AShortcutHeldByAnotherClientStaysSilentAndEnabled) {
    auto other = X11Display::open();
    const KeyCode p = XKeysymToKeycode(other->get(), XK_p);
    XGrabKey(other->get(), p, ControlMask | Mod1Mask | Mod4Mask | Mod2Mask, other->root(), False, GrabModeAsync,
             GrabModeAsync);
    XSync(other->get(), False);

    hotKey->setEnabled(true);
    EXPECT_TRUE(hotKey->isEnabled());
    EXPECT_FALSE(hotKey->isGrabbed());
    // The variant we did get was released again: the other client's plain variant is free for it to take.
    const auto errorsBefore = other->errorCount();
    XGrabKey(other->get(), p, ControlMask | Mod1Mask | Mod4Mask, other->root(), False, GrabModeAsync, GrabModeAsync);
    EXPECT_TRUE(other->syncSucceeded(errorsBefore));

    keyboard.chord(shortcut);
    XEvent event;
    ASSERT_TRUE(test::waitUntil([&] { return XCheckTypedEvent(other->get(), KeyPress, &event) == True; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(presses, 0);
}

TEST_F(GlobalHotKeyX11, AfterDestructionAnotherClientCanGrabTheShortcut) {
    hotKey->setEnabled(true);
    ASSERT_TRUE(hotKey->isGrabbed());
    hotKey.reset();
    auto other = X11Display::open();
    const auto errorsBefore = other->errorCount();
    for (unsigned int locks : {0U, static_cast<unsigned int>(LockMask), static_cast<unsigned int>(Mod2Mask)}) {
        XGrabKey(other->get(), XKeysymToKeycode(other->get(), XK_p), ControlMask | Mod1Mask | Mod4Mask | locks,
                 other->root(), False, GrabModeAsync, GrabModeAsync);
    }
    EXPECT_TRUE(other->syncSucceeded(errorsBefore));
}

} // namespace
} // namespace orvik::helper

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
