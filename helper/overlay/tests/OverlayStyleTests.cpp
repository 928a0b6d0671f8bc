#include "overlay/OverlayStyle.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

using Size = HelperPreferences::OverlaySize;

TEST(OverlayStyle, EverySizeScalesTheDotTheRingsBetweenAndTheSpotlightHole) {
    struct Row {
        Size size;
        double dot, outerRing, hole;
    };
    for (auto row :
         {Row{Size::small, 6.3, 23.1, 77}, Row{Size::medium, 9, 33, 110}, Row{Size::large, 13.5, 49.5, 165}}) {
        double scale = OverlayStyle::scale(row.size);
        auto circles = OverlayStyle::laserCircles(scale);
        EXPECT_NEAR(circles.back().radius, row.dot, 1e-9);
        EXPECT_EQ(circles.back().alpha, 1.0) << "the dot is opaque";
        EXPECT_NEAR(circles.front().radius, row.outerRing, 1e-9);
        for (std::size_t ring = 1; ring < circles.size(); ++ring) {
            EXPECT_LT(circles[ring].radius, circles[ring - 1].radius) << "from the outermost in";
            EXPECT_GT(circles[ring].alpha, circles[ring - 1].alpha);
        }
        EXPECT_NEAR(OverlayStyle::spotlightHoleRadius(scale), row.hole, 1e-9);
    }
}

} // namespace
} // namespace orvik::helper
