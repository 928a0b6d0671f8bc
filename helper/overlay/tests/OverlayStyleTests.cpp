#include "overlay/OverlayStyle.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

using Color = HelperPreferences::OverlayColor;
using Size = HelperPreferences::OverlaySize;

TEST(OverlayStyle, ColoursAndScalesOfThePreferences) {
    EXPECT_EQ(OverlayStyle::color(Color::aurora), (OverlayStyle::Color{35, 213, 171}));
    EXPECT_EQ(OverlayStyle::color(Color::red), (OverlayStyle::Color{255, 59, 48}));
    EXPECT_EQ(OverlayStyle::color(Color::white), (OverlayStyle::Color{255, 255, 255}));
    EXPECT_DOUBLE_EQ(OverlayStyle::scale(Size::small), 0.7);
    EXPECT_DOUBLE_EQ(OverlayStyle::scale(Size::medium), 1.0);
    EXPECT_DOUBLE_EQ(OverlayStyle::scale(Size::large), 1.5);
}

TEST(OverlayStyle, LaserRingsFromTheOutermostInThenTheDot) {
    auto circles = OverlayStyle::laserCircles(1.0);
    std::array<OverlayStyle::Circle, 5> expected{{{33, 0.08}, {27, 0.16}, {21, 0.24}, {15, 0.32}, {9, 1.0}}};
    for (std::size_t index = 0; index < circles.size(); ++index) {
        EXPECT_DOUBLE_EQ(circles[index].radius, expected[index].radius) << index;
        EXPECT_NEAR(circles[index].alpha, expected[index].alpha, 1e-12) << index;
    }
}

TEST(OverlayStyle, EverySizeScalesTheDotTheOuterRingAndTheSpotlightHole) {
    struct Row {
        Size size;
        double dot, outerRing, hole;
    };
    for (auto row :
         {Row{Size::small, 6.3, 23.1, 77}, Row{Size::medium, 9, 33, 110}, Row{Size::large, 13.5, 49.5, 165}}) {
        double scale = OverlayStyle::scale(row.size);
        auto circles = OverlayStyle::laserCircles(scale);
        EXPECT_NEAR(circles.back().radius, row.dot, 1e-9);
        EXPECT_NEAR(circles.front().radius, row.outerRing, 1e-9);
        EXPECT_NEAR(OverlayStyle::spotlightHoleRadius(scale), row.hole, 1e-9);
    }
}

} // namespace
} // namespace orvik::helper
