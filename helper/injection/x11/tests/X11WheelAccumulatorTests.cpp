#include "injection/x11/X11WheelAccumulator.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

using Clicks = X11WheelAccumulator::Clicks;
constexpr auto perClick = static_cast<std::int32_t>(X11WheelAccumulator::pixelsPerClick);

TEST(X11WheelAccumulator, wholeClicksPerAxisWithTheRestKept) {
    X11WheelAccumulator wheel;
    EXPECT_EQ(wheel.add(0, perClick, ScrollPhase::none), (Clicks{0, 1}));
    EXPECT_EQ(wheel.add(0, -2 * perClick - 5, ScrollPhase::none), (Clicks{0, -2}));
    EXPECT_EQ(wheel.add(0, -perClick + 5, ScrollPhase::none), (Clicks{0, -1})) << "the 5 pixels were kept";
    EXPECT_EQ(wheel.add(perClick + 1, 0, ScrollPhase::none), (Clicks{1, 0}));
    EXPECT_EQ(wheel.add(perClick - 1, 0, ScrollPhase::none), (Clicks{1, 0}));
}

TEST(X11WheelAccumulator, onePixelStepsAddUpSlowly) {
    X11WheelAccumulator wheel;
    for (int step = 1; step < perClick; ++step) EXPECT_EQ(wheel.add(0, 1, ScrollPhase::changed), (Clicks{})) << step;
    EXPECT_EQ(wheel.add(0, 1, ScrollPhase::changed), (Clicks{0, 1}));
}

TEST(X11WheelAccumulator, reversingOrBeginningDropsWhatWasGathered) {
    X11WheelAccumulator wheel;
    wheel.add(0, perClick - 1, ScrollPhase::none);
    EXPECT_EQ(wheel.add(0, -1, ScrollPhase::none), (Clicks{})) << "no click back from a reversal";
    EXPECT_EQ(wheel.add(0, -perClick + 1, ScrollPhase::none), (Clicks{0, -1}));

    wheel.add(perClick - 1, perClick - 1, ScrollPhase::changed);
    EXPECT_EQ(wheel.add(1, 1, ScrollPhase::began), (Clicks{})) << "a new gesture starts from nothing";
    wheel.add(perClick - 1, 0, ScrollPhase::none);
    EXPECT_EQ(wheel.add(1, 0, ScrollPhase::mayBegin), (Clicks{}));
    for (int step = 0; step < 100; ++step) EXPECT_EQ(wheel.add(step % 2 ? 1 : -1, 0, ScrollPhase::none), (Clicks{}));
}

TEST(X11WheelAccumulator, clicksPerEventAreCapped) {
    X11WheelAccumulator wheel;
    EXPECT_EQ(wheel.add(INT32_MIN, INT32_MAX, ScrollPhase::none),
              (Clicks{-X11WheelAccumulator::maxClicksPerEvent, X11WheelAccumulator::maxClicksPerEvent}));
    EXPECT_EQ(wheel.add(0, perClick, ScrollPhase::none), (Clicks{0, 1})) << "the excess is not carried over";
}

} // namespace
} // namespace orvik::helper
