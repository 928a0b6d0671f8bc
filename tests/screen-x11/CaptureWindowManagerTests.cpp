#include "CaptureFixture.hpp"

#include "ChildProcess.hpp"
#include "WaitUntil.hpp"

#include <unistd.h>

#include <csignal>
#include <string>

namespace orvik::helper::x11test {
namespace {

// Under a reparenting window manager our windows sit inside its frames: the frame is what goes black.
TEST_F(CaptureFixture, ourFramedWindowsArePaintedBlack) {
    Painter painter;
    const Window ours = painter.managedWindow({0, 0, 300, 200}, 0xFF0000, getpid());
    // The client window inside the frame carries the property.
    const Window marked = painter.managedWindow({0, 0, 300, 200}, 0x00FF00);
    painter.markExcluded(marked, true);
    const Window theirs = painter.managedWindow({0, 0, 300, 200}, 0x0000FF, getpid() + 1);
    X11CaptureSource source;
    FrameLog log;
    ASSERT_EQ(start(source, configuration(1920, 1080), log), std::nullopt);
    auto picture = log.next();
    ASSERT_TRUE(picture);
    const auto centre = [&](Window window) {
        const auto place = painter.placement(window);
        return sample(*picture, place.x + place.width / 2, place.y + place.height / 2);
    };
    expectNear(centre(ours), {16, 128, 128}, 2, "framed window with our pid");
    expectNear(centre(marked), {16, 128, 128}, 2, "framed window carrying the exclusion property");
    expectNear(centre(theirs), bt709(0x0000FF), 3, "another process's framed window");
    EXPECT_TRUE(stop(source));
}

class FramedExclusion : public CaptureFixture, public ::testing::WithParamInterface<WindowMover::Motion> {};

// The client asks to move or hide its window; the window manager moves its frame, or takes the client out of its
// frame and puts it in a new one when it is shown again.
TEST_P(FramedExclusion, aMarkedClientNeverShowsWhileTheWindowManagerMovesOrReframesIt) {
    Painter painter;
    const Window marked = painter.managedWindow({200, 200, 400, 300}, 0xFF00FF);
    painter.markExcluded(marked, true);
    // Each time the client is shown the window manager frames it anew, and which windows are ours is read again:
    // slower than moves, so fewer frames.
    const auto moving = captureWhileMoving(configuration(960, 540, 60), marked, GetParam(), {200, 200, 400, 300}, 20);
    EXPECT_GE(moving.frames, 20U) << "frames keep coming";
    EXPECT_GT(moving.steps, 10U);
    EXPECT_EQ(moving.framesWithColour, 0U) << "of " << moving.frames << " frames";
}

INSTANTIATE_TEST_SUITE_P(Motions, FramedExclusion,
                         ::testing::Values(WindowMover::Motion::jump, WindowMover::Motion::blink),
                         [](const ::testing::TestParamInfo<WindowMover::Motion>& motion) {
                             return motion.param == WindowMover::Motion::jump ? "jumping" : "shownAndHidden";
                         });

// A marked window hidden over a stopped program's window leaves its pixels there; the window manager then moves
// that program's frame, and the X server its pixels with it: the new place shows none of the marked window.
TEST_F(CaptureFixture, aStoppedProgramsFrameMovedTakesTheBlackAlong) {
    using namespace std::chrono_literals;
    Painter painter;
    orvik::test::ChildProcess beneath({ORVIK_TEST_BACKGROUNDLESS_WINDOW, "0", "0", "600", "400", "808080", "managed"});
    ASSERT_EQ(beneath.readLine(10s), "ready");
    const auto program = beneath.readLine(10s);
    ASSERT_TRUE(program);
    const Window client = std::stoul(*program);
    const auto before = painter.placement(client);
    const PixelRect marked{before.x + 100, before.y + 100, 200, 150};
    const Window window = painter.window(marked, 0xFF00FF);
    painter.markExcluded(window, true);
    X11CaptureSource source;
    FrameLog log;
    ASSERT_EQ(start(source, configuration(1920, 1080, 30), log), std::nullopt);
    ASSERT_TRUE(log.next());
    beneath.signal(SIGSTOP);
    painter.hide(window);
    ASSERT_TRUE(log.next(3));
    ASSERT_EQ(orvik::test::ChildProcess({"xdotool", "windowmove", *program, "700", "300"}).waitForExit(10s), 0);
    ASSERT_TRUE(orvik::test::waitUntil([&] { return painter.placement(client).x != before.x; }));
    const auto after = painter.placement(client);
    const int x = marked.x + after.x - before.x + 100;
    const int y = marked.y + after.y - before.y + 75;
    const auto magenta = bt709(0xFF00FF);
    std::size_t showing = 0;
    for (int frame = 0; frame < 20; ++frame) {
        // A still screen: the capture's refresh brings a frame a second, the pointer moved brings one at once.
        painter.warpPointer(1900 - frame, 1060);
        auto picture = log.next();
        ASSERT_TRUE(picture);
        const auto seen = sample(*picture, x, y);
        if (std::abs(seen[1] - magenta[1]) < 20 && std::abs(seen[2] - magenta[2]) < 20) ++showing;
    }
    EXPECT_EQ(showing, 0U) << "frames with the marked window's pixels where the program's window went";
    beneath.signal(SIGCONT);
    EXPECT_TRUE(stop(source));
}

} // namespace
} // namespace orvik::helper::x11test
