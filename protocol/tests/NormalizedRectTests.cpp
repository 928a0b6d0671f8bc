#include "orvik/protocol/messages/NormalizedRect.hpp"
#include "orvik/protocol/messages/ScreenMessages.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

using orvik::NormalizedRect;

TEST(NormalizedRect, ClampedKeepsTheRegionOnTheDisplay) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<NormalizedRect, NormalizedRect> cases[] = {
        {{0.25, 0.25, 0.5, 0.5}, {0.25, 0.25, 0.5, 0.5}},
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
        SCOPED_TRACE(::testing::Message() << input.x << "," << input.y << "," << input.width << "," << input.height);
        EXPECT_DOUBLE_EQ(result.x, expected.x);
        EXPECT_DOUBLE_EQ(result.y, expected.y);
        EXPECT_DOUBLE_EQ(result.width, expected.width);
        EXPECT_DOUBLE_EQ(result.height, expected.height);
    }
}

TEST(ScreenSettings, FrameRatesAreLimitedToFiveToSixty) {
    constexpr auto rates = orvik::ScreenSettings::frameRates;
    EXPECT_EQ(std::tuple(rates.contains(4), rates.contains(5), rates.contains(60), rates.contains(61)),
              std::tuple(false, true, true, false));
    EXPECT_EQ(std::tuple(rates.clamp(0), rates.clamp(30), rates.clamp(240)), std::tuple(5, 30, 60));
}
