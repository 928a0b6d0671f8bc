#include "orvik/protocol/messages/NormalizedRect.hpp"
#include "orvik/protocol/messages/ScreenMessages.hpp"

#include <gtest/gtest.h>

#include <limits>

using orvik::NormalizedRect;
using orvik::ScreenSettings;

TEST(NormalizedRect, ClampedKeepsTheRegionOnTheDisplay) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        NormalizedRect input;
        NormalizedRect expected;
    };
    const Case cases[] = {
        {{0.25, 0.25, 0.5, 0.5}, {0.25, 0.25, 0.5, 0.5}},
        {NormalizedRect::full(), {0, 0, 1, 1}},
        {{0, 0, 0.01, 0.02}, {0, 0, 0.05, 0.05}},
        {{0, 0, 0, -1}, {0, 0, 0.05, 0.05}},
        {{-0.5, -2, 2, 3}, {0, 0, 1, 1}},
        {{0.9, 0.8, 0.5, 0.5}, {0.5, 0.5, 0.5, 0.5}},
        {{0.99, 0.99, 0.01, 0.01}, {0.95, 0.95, 0.05, 0.05}},
        {{-0.1, 0.3, 0.4, 0.2}, {0, 0.3, 0.4, 0.2}},
        {{nan, 0, 0.5, 0.5}, NormalizedRect::full()},
        {{0, 0, inf, 0.5}, NormalizedRect::full()},
        {{0.2, -inf, 0.5, 0.5}, NormalizedRect::full()},
        {{0.2, 0.2, 0.5, nan}, NormalizedRect::full()},
    };
    for (const auto& [input, expected] : cases) {
        auto result = input.clamped();
        EXPECT_DOUBLE_EQ(result.x, expected.x)
            << input.x << "," << input.y << "," << input.width << "," << input.height;
        EXPECT_DOUBLE_EQ(result.y, expected.y);
        EXPECT_DOUBLE_EQ(result.width, expected.width);
        EXPECT_DOUBLE_EQ(result.height, expected.height);
    }
}

TEST(ScreenSettings, FrameRatesAreFiveToSixty) {
    EXPECT_FALSE(ScreenSettings::frameRates.contains(4));
    EXPECT_TRUE(ScreenSettings::frameRates.contains(5));
    EXPECT_TRUE(ScreenSettings::frameRates.contains(60));
    EXPECT_FALSE(ScreenSettings::frameRates.contains(61));
    EXPECT_EQ(ScreenSettings::frameRates.clamp(0), 5);
    EXPECT_EQ(ScreenSettings::frameRates.clamp(30), 30);
    EXPECT_EQ(ScreenSettings::frameRates.clamp(240), 60);
}
