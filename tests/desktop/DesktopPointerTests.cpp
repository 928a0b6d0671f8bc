// A phone places the pointer on a real X server while the user moves the mouse too: process against process, with
// the server's own clock, so the pauses after which it asks X where the pointer is are real ones.

// Google Test and the protocol first: Xlib defines macros (None, Bool, Status, ProtocolVersion) that clash with
// their names.
#include <gtest/gtest.h>

#include "DesktopProcesses.hpp"

#include "X11EventRecorder.hpp"
#include "platform/DisplayIdentifiers.hpp"

#include <X11/extensions/XTest.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <thread>

namespace orvik::test {
namespace {

using helper::x11test::X11EventRecorder;
using namespace std::chrono_literals;

// Longer than the pause after which the server asks X where the pointer is.
constexpr auto pause = 400ms;

// Mend: after the user had moved the mouse and a pause, an absolute move landed as far from where the phone said as
// the pointer had gone, and so did a click right after it. It lands where the phone says, and a relative move after
// the next pause goes on from there.
TEST(DesktopPointer, AbsoluteMovesAfterLocalMotionLandWhereThePhoneSaysAndClicksFollow) {
    std::signal(SIGPIPE, SIG_IGN);
    X11EventRecorder desktop;
    auto pointerAt = [&desktop](int x, int y) {
        return eventually([&] { return desktop.pointer().x == x && desktop.pointer().y == y; });
    };
    auto where = [&desktop] {
        return "the pointer is at " + std::to_string(desktop.pointer().x) + ", " + std::to_string(desktop.pointer().y);
    };
    auto moveLocally = [&desktop](int x, int y) {
        XTestFakeMotionEvent(desktop.display(), -1, x, y, CurrentTime);
        XSync(desktop.display(), False);
    };
    DesktopServer server(400ms);
    Phone phone(server);
    phone.status();
    const auto screen = helper::DisplayIdentifiers::idForName("screen");
    std::uint32_t sequence = 0;

    phone.send(PointerAbsolute{screen, 0.1f, 0.1f, ++sequence});
    ASSERT_TRUE(pointerAt(192, 108)) << where();
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        moveLocally(700, 300);
        std::this_thread::sleep_for(pause);
        phone.send(PointerAbsolute{screen, 0.5f, 0.5f, ++sequence});
        EXPECT_TRUE(pointerAt(960, 540)) << where();
        std::this_thread::sleep_for(pause);
        phone.send(PointerMove{5, 5, ++sequence});
        EXPECT_TRUE(pointerAt(965, 545)) << where();
    }

    moveLocally(100, 100);
    std::this_thread::sleep_for(pause);
    desktop.take();
    phone.send(PointerAbsolute{screen, 0.25f, 0.25f, ++sequence});
    phone.send(ButtonEvent{MouseButton::left, ButtonAction::click});
    std::vector<X11EventRecorder::Event> presses;
    EXPECT_TRUE(eventually([&] {
        auto arrived = X11EventRecorder::ofType(desktop.take(), ButtonPress);
        presses.insert(presses.end(), arrived.begin(), arrived.end());
        return !presses.empty();
    }));
    ASSERT_EQ(presses.size(), 1u);
    EXPECT_EQ(std::pair(presses[0].x, presses[0].y), std::pair(480, 270));
    EXPECT_EQ(phone.end(), 0);
}

} // namespace
} // namespace orvik::test
