#include "CaptureFixture.hpp"

#include <unistd.h>

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

} // namespace
} // namespace orvik::helper::x11test
