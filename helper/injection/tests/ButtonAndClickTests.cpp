#include "InputTestSupport.hpp"

namespace orvik::helper::testing {
namespace {

using Events = std::vector<RecordedInput>;
constexpr auto left = MouseButton::left;
constexpr auto right = MouseButton::right;

void button(ControlledInput& input, MouseButton which, ButtonAction action) {
    input.controller.handleButton(ButtonEvent{which, action});
}

// The down and up of clicks at (720, 450) with these counts.
Events clicks(MouseButton which, std::initializer_list<int> counts) {
    Events all;
    for (int count : counts) {
        all.push_back(down(which, 720, 450, count));
        all.push_back(up(which, 720, 450, count));
    }
    return all;
}

TEST(Buttons, APressOfAHeldButtonAndAReleaseOfAFreeOneAreIgnored) {
    ControlledInput input;
    button(input, left, ButtonAction::down);
    button(input, left, ButtonAction::down);
    button(input, left, ButtonAction::dragDown);
    button(input, right, ButtonAction::up);
    button(input, left, ButtonAction::up);
    button(input, left, ButtonAction::up);
    button(input, MouseButton::middle, ButtonAction::click);
    Events expected = clicks(left, {1});
    for (const auto& event : clicks(MouseButton::middle, {1})) expected.push_back(event);
    EXPECT_EQ(input.take(), expected);
    EXPECT_FALSE(input.controller.hasHeldInput());
}

// Counting itself is ClickCounter's (below); the controller counts clicks and separate downs alike, with the sink's
// interval, and a double click is always two with a fresh run after it.
TEST(ClickCounting, TheControllerCountsEveryPressWithTheSinksInterval) {
    ControlledInput input(std::make_shared<RecordingSink>(std::vector{RecordingSink::defaultDisplay},
                                                          RecordingSink::defaultCursor, 0.25));
    button(input, left, ButtonAction::click);
    input.clock += 0.25; // exactly the interval still continues the run
    button(input, left, ButtonAction::down);
    button(input, left, ButtonAction::up);
    input.clock += 0.375;
    button(input, left, ButtonAction::click);
    button(input, left, ButtonAction::doubleClick);
    button(input, left, ButtonAction::click);
    EXPECT_EQ(input.take(), clicks(left, {1, 2, 1, 1, 2, 1}));
}

TEST(ClickCounting, DragDownStartsAFreshSinglePressWhereThePointerIs) {
    ControlledInput input;
    button(input, left, ButtonAction::click);
    button(input, left, ButtonAction::dragDown);
    input.controller.movePointer(30, 0);
    button(input, left, ButtonAction::up);
    button(input, left, ButtonAction::click);
    Events expected = clicks(left, {1});
    for (const auto& event : {down(left, 720, 450, 1), dragged(left, 750, 450), up(left, 750, 450, 1),
                              down(left, 750, 450, 1), up(left, 750, 450, 1)}) {
        expected.push_back(event);
    }
    EXPECT_EQ(input.take(), expected);
}

// Exactly the interval and four points per axis still continue a run.
TEST(ClickCounter, CountsByButtonTimeAndDistanceAndResetForgetsTheButton) {
    struct Step {
        MouseButton button;
        DisplayPoint point;
        double time;
        int expected;
    };
    const Step steps[] = {
        {left, {0, 0}, 10.0, 1},   {left, {4, 4}, 10.5, 2},    {left, {0, 0}, 11.0, 3},    {left, {0, 0}, 11.1, 3},
        {left, {0, 4.5}, 11.2, 1}, {right, {0, 4.5}, 11.3, 1}, {right, {0, 4.5}, 11.9, 1}, {right, {-4, 0.5}, 12.0, 2},
    };
    ClickCounter counter;
    for (const auto& step : steps) {
        EXPECT_EQ(counter.registerClick(step.button, step.point, step.time, 0.5), step.expected) << step.time;
    }
    counter.reset();
    EXPECT_EQ(counter.currentCount, 1);
    EXPECT_EQ(counter.registerClick(right, {-4, 0.5}, 12.1, 0.5), 1);
    EXPECT_EQ(counter.registerClick(right, {-4, 0.5}, 12.2, 0.5), 2) << "the place was kept";
}

} // namespace
} // namespace orvik::helper::testing
