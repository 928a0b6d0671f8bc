#include "screen/ScreenGeometry.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace orvik::helper {
namespace {

struct SizeCase {
    std::int64_t pixelWidth, pixelHeight;
    NormalizedRect region;
    std::int64_t maxWidth, maxHeight;
    ScreenGeometry::Size expected;
};

class OutputSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(OutputSize, ScalesDownToEvenSidesWithinTheLimits) {
    const auto& c = GetParam();
    ScreenDisplay display{1, "D", c.pixelWidth, c.pixelHeight, c.pixelWidth, c.pixelHeight, true};
    EXPECT_EQ(ScreenGeometry::outputSize(display, c.region, c.maxWidth, c.maxHeight), c.expected);
}

constexpr auto huge = std::numeric_limits<std::int64_t>::max();
INSTANTIATE_TEST_SUITE_P(WorkedValuesAndEdges, OutputSize,
                         ::testing::Values(SizeCase{2880, 1800, NormalizedRect::full(), 1280, 800, {1280, 800}},
                                           SizeCase{1366, 768, NormalizedRect::full(), 1000, 1000, {1000, 562}},
                                           SizeCase{2560, 1440, NormalizedRect::full(), 1179, 2556, {1180, 664}},
                                           SizeCase{1440, 900, {0, 0, 0.05, 0.05}, 4096, 4096, {160, 160}},
                                           SizeCase{1920, 1080, NormalizedRect::full(), 100, 100, {160, 160}},
                                           SizeCase{1920, 1080, NormalizedRect::full(), 0, -5, {160, 160}},
                                           SizeCase{1920, 1080, {0.5, 0.5, 0.25, 0.25}, 4096, 4096, {480, 270}},
                                           SizeCase{8000, 8000, NormalizedRect::full(), huge, huge, {4096, 4096}},
                                           SizeCase{0, 0, NormalizedRect::full(), 1280, 800, {160, 160}}));

TEST(InitialBitRate, IsSevenHundredthsOfABitPerPixelWithinTwoAndFortyMegabits) {
    EXPECT_EQ(ScreenGeometry::initialBitRate(1280, 800, 30), 2'150'400);
    EXPECT_EQ(ScreenGeometry::initialBitRate(640, 360, 30), 2'000'000);
    EXPECT_EQ(ScreenGeometry::initialBitRate(4096, 4096, 60), 40'000'000);
}

} // namespace
} // namespace orvik::helper
