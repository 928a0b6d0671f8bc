#include "overlay/OverlayTracker.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

const OverlayRect leftScreen{0, 0, 1920, 1080};
const OverlayRect rightScreen{1920, 0, 1280, 1024};
const std::vector<OverlayRect> screens{leftScreen, rightScreen};

TEST(ScreenUnder, TheFirstScreenContainingThePointerElseThePrimary) {
    EXPECT_EQ(screenUnder({100, 100}, screens), leftScreen);
    EXPECT_EQ(screenUnder({1920, 0}, screens), rightScreen); // minimum edges belong to the screen
    EXPECT_EQ(screenUnder({1919.5, 1079.5}, screens), leftScreen);
    EXPECT_EQ(screenUnder({3200, 10}, screens), leftScreen); // maximum edges do not: primary stands in
    EXPECT_EQ(screenUnder({-5, -5}, screens), leftScreen);
    EXPECT_EQ(screenUnder({5, 5}, {}), std::nullopt);
}

TEST(OverlayTracker, ConvertsThePointerIntoThePanelOnTheScreenUnderItOrThePrimary) {
    OverlayTracker tracker(0);
    tracker.setMode(OverlayMode::laser, 0);

    auto onLeft = tracker.tick({500, 400}, 0.1, leftScreen, screens);
    EXPECT_EQ(onLeft.panel, leftScreen);
    EXPECT_EQ(onLeft.cursor, (OverlayPoint{500, 400}));
    auto onRight = tracker.tick({2000, 300}, 0.2, leftScreen, screens);
    EXPECT_EQ(onRight.panel, rightScreen);
    EXPECT_EQ(onRight.cursor, (OverlayPoint{80, 300}));
    auto outside = tracker.tick({5000, 5000}, 0.3, rightScreen, screens);
    EXPECT_EQ(outside.panel, leftScreen);
    EXPECT_EQ(outside.cursor, (OverlayPoint{5000, 5000}));
}

TEST(OverlayTracker, TheLaserDotHidesOnlyAfterMoreThanTheIdleTimeoutSinceAMoveOrAMode) {
    OverlayTracker tracker(0);
    tracker.setMode(OverlayMode::laser, 10);
    tracker.tick({500, 400}, 10, leftScreen, screens); // moved at 10

    EXPECT_FALSE(tracker.tick({500, 400}, 13.0, leftScreen, screens).dotHidden); // exactly 3 s is not idle
    EXPECT_TRUE(tracker.tick({500, 400}, 13.001, leftScreen, screens).dotHidden);
    auto moved = tracker.tick({501, 400}, 20, leftScreen, screens);
    EXPECT_FALSE(moved.dotHidden);
    EXPECT_EQ(moved.cursor, (OverlayPoint{501, 400}));

    EXPECT_TRUE(tracker.tick({501, 400}, 25, leftScreen, screens).dotHidden);
    tracker.setMode(OverlayMode::laser, 25);
    EXPECT_FALSE(tracker.tick({501, 400}, 27, leftScreen, screens).dotHidden);
    EXPECT_TRUE(tracker.tick({501, 400}, 28.5, leftScreen, screens).dotHidden);
}

TEST(OverlayTracker, ThePointerStartsAsSeenAtTheOriginAndTheSpotlightNeverHides) {
    // A pointer resting at (0, 0) from the start is still, and idles out like any other.
    OverlayTracker tracker(0);
    tracker.setMode(OverlayMode::laser, 0);
    EXPECT_TRUE(tracker.tick({0, 0}, 3.5, leftScreen, screens).dotHidden);

    tracker.setMode(OverlayMode::spotlight, 4);
    EXPECT_FALSE(tracker.tick({0, 0}, 60, leftScreen, screens).dotHidden);
}

} // namespace
} // namespace orvik::helper
