#include "CaptureFixture.hpp"

#include "WaitUntil.hpp"
#include "screen/x11/WindowTrail.hpp"

#include <unistd.h>

#include <string>

namespace orvik::helper::x11test {
namespace {

using Motion = WindowMover::Motion;

// Where a window dragged in 10 px steps from 0,0 has been.
std::vector<PixelRect> dragged(int steps) {
    std::vector<PixelRect> places;
    places.reserve(static_cast<std::size_t>(steps));
    for (int step = 0; step < steps; ++step) places.push_back({step * 10, 0, 100, 50});
    return places;
}

// One test for the table: each test of this program starts an X server of its own.
TEST(WindowTrail, keepsEveryPlaceOrOneThatCoversThemAll) {
    struct Case {
        std::string name;
        std::vector<PixelRect> placesHeld; // the first is where the window was at the last picture
        std::vector<PixelRect> expected;
    };
    auto withinTheCover = dragged(9);
    withinTheCover.push_back({40, 0, 100, 50});
    const Case cases[] = {
        {"still", {{0, 0, 100, 50}}, {{0, 0, 100, 50}}},
        {"there and back", {{0, 0, 100, 50}, {300, 0, 100, 50}, {0, 0, 100, 50}}, {{0, 0, 100, 50}, {300, 0, 100, 50}}},
        {"shrunk inside", {{0, 0, 100, 50}, {10, 10, 20, 20}}, {{0, 0, 100, 50}}},
        {"grown", {{0, 0, 100, 50}, {0, 0, 200, 50}}, {{0, 0, 100, 50}, {0, 0, 200, 50}}},
        {"eight places", dragged(8), dragged(8)},
        {"nine places", dragged(9), {{0, 0, 180, 50}}},
        {"within the cover", withinTheCover, {{0, 0, 180, 50}}},
    };
    for (const auto& trailCase : cases) {
        WindowTrail trail(trailCase.placesHeld.front());
        for (auto place = trailCase.placesHeld.begin() + 1; place != trailCase.placesHeld.end(); ++place) {
            trail.add(*place);
        }
        EXPECT_EQ(trail.places(), trailCase.expected) << trailCase.name;
    }
}

class CaptureExclusion : public CaptureFixture, public ::testing::WithParamInterface<Motion> {};

// A window shows in a picture where it was when the picture was read, wherever it was a moment before.
TEST_P(CaptureExclusion, aMarkedWindowNeverShowsWhileItMovesAndFramesKeepComing) {
    constexpr PixelRect origin{200, 200, 400, 300};
    Painter painter;
    painter.window({0, 0, 1920, 1080}, 0x808080);
    const Window marked = painter.window(origin, 0xFF00FF);
    painter.markExcluded(marked, true);
    // The top-left quarter, captured at its own size: the window's whole path, every pixel looked at.
    const auto quarter = configuration(960, 540, 60, {0, 0, 0.5, 0.5});
    const auto moving = captureWhileMoving(quarter, marked, GetParam(), origin, 40);
    EXPECT_GE(moving.frames, 40U) << "frames keep coming while the window moves";
    EXPECT_GT(moving.steps, 10U);
    EXPECT_EQ(moving.framesWithColour, 0U) << "of " << moving.frames << " frames";
}

// A window manager may hold the client deeper in its frame, behind windows of its own, and hold several clients in
// one frame (as tabs).
TEST_F(CaptureFixture, aClientDeepInsideAFrameIsFound) {
    Painter painter;
    painter.window({0, 0, 1920, 1080}, 0x808080);
    const auto frameAround = [&](const PixelRect& place) {
        const Window frame = painter.window(place, 0x00FF00);
        painter.child(frame, {0, 0, place.width, 20}, 0x0000FF); // a title bar
        return painter.child(frame, {10, 30, place.width - 20, place.height - 40}, 0x00FF00);
    };
    const Window marked = painter.child(frameAround({100, 100, 420, 340}), {0, 0, 400, 300}, 0xFF00FF, true);
    painter.markExcluded(marked, true);
    const Window tabs = frameAround({700, 100, 420, 340});
    painter.child(tabs, {0, 0, 400, 300}, 0x0000FF, true, getpid() + 1);
    painter.child(tabs, {0, 0, 400, 300}, 0xFF00FF, true, getpid());
    X11CaptureSource source;
    FrameLog log;
    ASSERT_EQ(start(source, configuration(1920, 1080), log), std::nullopt);
    auto picture = log.next();
    ASSERT_TRUE(picture);
    for (const int left : {100, 700}) {
        const auto where = "frame at x " + std::to_string(left);
        expectNear(sample(*picture, left + 5, 105), {16, 128, 128}, 2, where + ", its title bar");
        expectNear(sample(*picture, left + 210, 270), {16, 128, 128}, 2, where + ", its client");
    }
    EXPECT_TRUE(stop(source));
}

INSTANTIATE_TEST_SUITE_P(Motions, CaptureExclusion, ::testing::Values(Motion::jump, Motion::drag, Motion::blink),
                         [](const ::testing::TestParamInfo<Motion>& motion) {
                             switch (motion.param) {
                             case Motion::jump: return "jumping";
                             case Motion::drag: return "dragged";
                             case Motion::blink: return "shownAndHidden";
                             }
                             return "unknown";
                         });

} // namespace
} // namespace orvik::helper::x11test
