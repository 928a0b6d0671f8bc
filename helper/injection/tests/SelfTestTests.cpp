#include "injection/RecordingSink.hpp"
#include "injection/SelfTest.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

constexpr double tolerance = 1e-9;

void expectNear(DisplayPoint actual, DisplayPoint expected) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
}

TEST(SelfTest, circlePointsGoClockwiseFromTheTopAndNoStepsGiveOnlyTheTop) {
    const std::vector<DisplayPoint> expected = {{10, 15}, {15, 20}, {10, 25}, {5, 20}, {10, 15}};
    auto points = SelfTest::circlePoints({10, 20}, 5, 4);
    ASSERT_EQ(points.size(), expected.size());
    for (std::size_t index = 0; index < points.size(); ++index) expectNear(points[index], expected[index]);
    points = SelfTest::circlePoints({10, 20}, 5, 0);
    ASSERT_EQ(points.size(), 1u);
    expectNear(points[0], {10, 15});
}

TEST(SelfTest, circleStartsAndEndsAtThePointerWithPlainMovesAndAPauseBetweenThem) {
    RecordingSink sink({RecordingSink::defaultDisplay}, {100, 100});
    int pauses = 0;
    SelfTest::drawCircle(sink, [&pauses](std::chrono::milliseconds pause) {
        EXPECT_EQ(pause, SelfTest::stepPause);
        ++pauses;
    });
    auto events = sink.events();
    ASSERT_EQ(events.size(), 62u);
    EXPECT_EQ(pauses, 61);
    std::vector<DisplayPoint> locations;
    for (const auto& event : events) {
        const auto& mouse = std::get<RecordedInput::Mouse>(event.value);
        EXPECT_EQ(RecordedInput{mouse}, RecordedInput::mouse(MouseEventKind::moved, {}, mouse.location, 0));
        locations.push_back(mouse.location);
    }
    for (auto [move, point] : {std::pair<std::size_t, DisplayPoint>{0, {100, 100}},
                               {15, {160, 160}},
                               {30, {100, 220}},
                               {45, {40, 160}},
                               {60, {100, 100}}}) {
        expectNear(locations[move], point);
    }
    EXPECT_EQ(locations.back(), (DisplayPoint{100, 100})) << "the last move lands exactly on the start";
}

} // namespace
} // namespace orvik::helper
