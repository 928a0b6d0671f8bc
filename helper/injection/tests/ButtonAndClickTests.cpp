#include "InputTestSupport.hpp"

namespace orvik::helper::testing {
namespace {

using Events = std::vector<RecordedInput>;
constexpr auto left = MouseButton::left;
constexpr auto right = MouseButton::right;

void button(ControlledInput& input, MouseButton which, ButtonAction action) {
    input.controller.handleButton(ButtonEvent{which, action});
}

Events clickPair(MouseButton which, double x, double y, int count) {
    return {down(which, x, y, count), up(which, x, y, count)};
}

Events joined(std::initializer_list<Events> parts) {
    Events all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
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
    EXPECT_EQ(input.take(), (Events{down(left, 720, 450, 1), up(left, 720, 450, 1)}));
    EXPECT_FALSE(input.controller.hasHeldInput());
}

TEST(Buttons, MiddleButtonIsPassedThrough) {
    ControlledInput input;
    button(input, MouseButton::middle, ButtonAction::click);
    EXPECT_EQ(input.take(), clickPair(MouseButton::middle, 720, 450, 1));
}

TEST(ClickCounting, QuickClicksInOnePlaceCountUpToThree) {
    ControlledInput input;
    for (int i = 0; i < 4; ++i) {
        button(input, left, ButtonAction::click);
        input.clock += 0.5; // exactly the interval still continues the run
    }
    EXPECT_EQ(input.take(), joined({clickPair(left, 720, 450, 1), clickPair(left, 720, 450, 2),
                                    clickPair(left, 720, 450, 3), clickPair(left, 720, 450, 3)}));
}

TEST(ClickCounting, ARunBreaksOnDistanceButtonOrDelay) {
    ControlledInput input;
    button(input, left, ButtonAction::click);
    input.controller.movePointer(4, -4); // four points on each axis is still near
    button(input, left, ButtonAction::click);
    input.controller.movePointer(5, 0);
    button(input, left, ButtonAction::click);
    button(input, right, ButtonAction::click);
    button(input, right, ButtonAction::click);
    input.clock += 0.5001;
    button(input, right, ButtonAction::click);
    EXPECT_EQ(input.take(), joined({clickPair(left, 720, 450, 1),
                                    {moved(724, 446)},
                                    clickPair(left, 724, 446, 2),
                                    {moved(729, 446)},
                                    clickPair(left, 729, 446, 1),
                                    clickPair(right, 729, 446, 1),
                                    clickPair(right, 729, 446, 2),
                                    clickPair(right, 729, 446, 1)}));
}

TEST(ClickCounting, SeparateDownAndUpMessagesAreCountedToo) {
    ControlledInput input;
    button(input, left, ButtonAction::click);
    button(input, left, ButtonAction::down);
    button(input, left, ButtonAction::up);
    EXPECT_EQ(input.take(), joined({clickPair(left, 720, 450, 1), clickPair(left, 720, 450, 2)}));
}

TEST(ClickCounting, DoubleClickIsAlwaysTwoAndTheNextClickIsSingle) {
    ControlledInput input;
    button(input, left, ButtonAction::click);
    button(input, left, ButtonAction::click);
    button(input, left, ButtonAction::doubleClick);
    button(input, left, ButtonAction::click);
    EXPECT_EQ(input.take(),
              joined({clickPair(left, 720, 450, 1), clickPair(left, 720, 450, 2), clickPair(left, 720, 450, 1),
                      clickPair(left, 720, 450, 2), clickPair(left, 720, 450, 1)}));
}

TEST(ClickCounting, DragDownStartsAFreshSinglePress) {
    ControlledInput input;
    button(input, left, ButtonAction::click);
    button(input, left, ButtonAction::dragDown);
    input.controller.movePointer(30, 0);
    button(input, left, ButtonAction::up);
    button(input, left, ButtonAction::click);
    EXPECT_EQ(input.take(), joined({clickPair(left, 720, 450, 1),
                                    {down(left, 720, 450, 1)},
                                    {dragged(left, 750, 450)},
                                    {up(left, 750, 450, 1)},
                                    clickPair(left, 750, 450, 1)}));
}

TEST(ClickCounting, ClicksUseTheSinksDoubleClickInterval) {
    ControlledInput input(std::make_shared<RecordingSink>(std::vector{RecordingSink::defaultDisplay},
                                                          RecordingSink::defaultCursor, 0.25));
    button(input, left, ButtonAction::click);
    input.clock += 0.375;
    button(input, left, ButtonAction::click);
    input.clock += 0.25;
    button(input, left, ButtonAction::click);
    EXPECT_EQ(input.take(),
              joined({clickPair(left, 720, 450, 1), clickPair(left, 720, 450, 1), clickPair(left, 720, 450, 2)}));
}

TEST(ClickCounter, CountsByButtonTimeAndDistance) {
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
        EXPECT_EQ(counter.registerClick(step.button, step.point, step.time, 0.5), step.expected)
            << "at time " << step.time;
    }
}

TEST(ClickCounter, ResetForgetsTheButtonButNotThePlace) {
    ClickCounter counter(3);
    EXPECT_EQ(counter.registerClick(left, {0, 0}, 0, 0.5), 1); // a fresh counter matches nothing
    EXPECT_EQ(counter.registerClick(left, {0, 0}, 0.1, 0.5), 2);
    counter.reset();
    EXPECT_EQ(counter.currentCount, 1);
    EXPECT_EQ(counter.registerClick(left, {0, 0}, 0.2, 0.5), 1);
    EXPECT_EQ(counter.registerClick(left, {0, 0}, 0.3, 0.5), 2);
}

} // namespace
} // namespace orvik::helper::testing
