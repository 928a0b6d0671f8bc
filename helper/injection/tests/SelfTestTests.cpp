#include "injection/RecordingSink.hpp"
#include "injection/SelfTest.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace orvik::helper {
namespace {

constexpr double tolerance = 1e-9;

void expectNear(DisplayPoint actual, DisplayPoint expected) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
}

TEST(SelfTestTest, fourStepsVisitTopRightBottomLeftTop) {
    auto points = SelfTest::circlePoints({10, 20}, 5, 4);
    ASSERT_EQ(points.size(), 5u);
    expectNear(points[0], {10, 15});
    expectNear(points[1], {15, 20});
    expectNear(points[2], {10, 25});
    expectNear(points[3], {5, 20});
    expectNear(points[4], {10, 15});
}

TEST(SelfTestTest, noStepsGiveOnlyTheTopInsteadOfDividingByZero) {
    auto points = SelfTest::circlePoints({10, 20}, 5, 0);
    ASSERT_EQ(points.size(), 1u);
    expectNear(points[0], {10, 15});
}

TEST(SelfTestTest, circleStartsAndEndsAtThePointerWithPlainMoves) {
    RecordingSink sink({RecordingSink::defaultDisplay}, {100, 100});
    int pauses = 0;
    SelfTest::drawCircle(sink, [&pauses](std::chrono::milliseconds pause) {
        EXPECT_EQ(pause, SelfTest::stepPause);
        ++pauses;
    });
    auto events = sink.events();
    ASSERT_EQ(events.size(), 62u);
    EXPECT_EQ(pauses, 61);

    auto location = [&events](std::size_t move) {
        const auto* mouse = std::get_if<RecordedInput::Mouse>(&events.at(move - 1).value);
        EXPECT_NE(mouse, nullptr);
        if (mouse) {
            EXPECT_EQ(mouse->kind, MouseEventKind::moved);
            EXPECT_EQ(mouse->button, std::nullopt);
            EXPECT_EQ(mouse->clickCount, 0);
        }
        return mouse ? mouse->location : DisplayPoint{};
    };
    expectNear(location(1), {100, 100});
    expectNear(location(16), {160, 160});
    expectNear(location(31), {100, 220});
    expectNear(location(46), {40, 160});
    expectNear(location(61), {100, 100});
    EXPECT_EQ(location(62), (DisplayPoint{100, 100})) << "the last move lands exactly on the start";
    EXPECT_EQ(sink.cursorLocation(), (DisplayPoint{100, 100}));
}

} // namespace
} // namespace orvik::helper
