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

constexpr unsigned int controlAltSuper = ControlMask | Mod1Mask | Mod4Mask;

// The pause shortcut grabbed by our object, pressed from another client through XTest.
class GlobalHotKeyX11 : public testing::Test {
protected:
    GlobalHotKeyX11() {
        XAutoRepeatOn(keyboard->get());
        hotKey->setOnPress([this] { ++presses; });
    }

    void key(KeySym keysym, bool down) {
        XTestFakeKeyEvent(keyboard->get(), XKeysymToKeycode(keyboard->get(), keysym), down, CurrentTime);
        XSync(keyboard->get(), False);
    }
    void tap(KeySym keysym) { key(keysym, true), key(keysym, false); }
    // Holds the modifiers, holds P for `held` while the GUI runs, releases all.
    void chord(const std::vector<KeySym>& modifiers = {XK_Control_L, XK_Alt_L, XK_Super_L},
               std::chrono::milliseconds held = 0ms) {
        for (KeySym modifier : modifiers) key(modifier, true);
        key(XK_p, true);
        test::waitUntil([] { return false; }, held, [] { QCoreApplication::processEvents(); }); // the GUI runs
        key(XK_p, false);
        for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) key(*it, false);
    }
    // One more press of the shortcut arrives as exactly one more toggle. X keeps the order of events, so nothing
    // of an earlier chord can still be on its way once it has arrived.
    void expectOneMoreToggleAfter(int earlier) {
        chord();
        ASSERT_TRUE(test::waitUntil([&] { return presses > earlier; }, 10s, [] { QCoreApplication::processEvents(); }));
        EXPECT_EQ(presses, earlier + 1);
    }
    // Whether another client may grab P with each of these modifier masks.
    static bool anotherClientCanGrab(X11Display& other, std::initializer_list<unsigned int> masks) {
        const auto errorsBefore = other.errorCount();
        for (unsigned int mask : masks) {
            XGrabKey(other.get(), XKeysymToKeycode(other.get(), XK_p), mask, other.root(), False, GrabModeAsync,
                     GrabModeAsync);
        }
        return other.syncSucceeded(errorsBefore);
    }

    std::unique_ptr<X11Display> keyboard = X11Display::open();
    std::unique_ptr<X11GlobalHotKey> hotKey = std::make_unique<X11GlobalHotKey>();
    int presses = 0;
};

TEST_F(GlobalHotKeyX11, EachPressTogglesOnceWhateverTheLocksAndNotWithShiftAdded) {
    hotKey->setEnabled(true);
    ASSERT_TRUE(hotKey->isGrabbed());
    expectOneMoreToggleAfter(0);
    chord({XK_Control_L, XK_Alt_L, XK_Super_L, XK_Shift_L});
    chord({XK_Control_L, XK_Alt_L});
    expectOneMoreToggleAfter(1);
    tap(XK_Caps_Lock);
    expectOneMoreToggleAfter(2);
    tap(XK_Num_Lock);
    expectOneMoreToggleAfter(3);
    tap(XK_Caps_Lock);
    expectOneMoreToggleAfter(4);
    tap(XK_Num_Lock);
}

TEST_F(GlobalHotKeyX11, HoldingTheShortcutWhileTheKeyRepeatsTogglesOnce) {
    hotKey->setEnabled(true);
    chord({XK_Control_L, XK_Alt_L, XK_Super_L}, 1500ms);
    expectOneMoreToggleAfter(1);
}

TEST_F(GlobalHotKeyX11, AShortcutHeldByAnotherClientStaysSilentAndEnabled) {
    auto other = X11Display::open();
    ASSERT_TRUE(anotherClientCanGrab(*other, {controlAltSuper | Mod2Mask}));
    hotKey->setEnabled(true);
    EXPECT_TRUE(hotKey->isEnabled());
    EXPECT_FALSE(hotKey->isGrabbed());
    // The variants we did get were released again.
    EXPECT_TRUE(anotherClientCanGrab(*other, {controlAltSuper}));
    chord();
    XEvent event;
    ASSERT_TRUE(test::waitUntil([&] { return XCheckTypedEvent(other->get(), KeyPress, &event) == True; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(presses, 0);
}

TEST_F(GlobalHotKeyX11, DisablingOrDestroyingItLetsAnotherClientGrabTheShortcut) {
    hotKey->setEnabled(true);
    hotKey->setEnabled(false);
    EXPECT_FALSE(hotKey->isEnabled());
    EXPECT_TRUE(anotherClientCanGrab(*X11Display::open(), {controlAltSuper}));
    chord();
    hotKey->setEnabled(true);
    expectOneMoreToggleAfter(0);
    hotKey.reset();
    EXPECT_TRUE(
        anotherClientCanGrab(*X11Display::open(), {controlAltSuper, controlAltSuper | LockMask,
                                                   controlAltSuper | Mod2Mask, controlAltSuper | LockMask | Mod2Mask}));
}

} // namespace
} // namespace orvik::helper

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
