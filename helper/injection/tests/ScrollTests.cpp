#include "InputTestSupport.hpp"

#include <limits>

namespace orvik::helper::testing {
namespace {

using Events = std::vector<RecordedInput>;
using Phase = ScrollPhase;
using Momentum = MomentumPhase;

RecordedInput wheel(std::int32_t dx, std::int32_t dy, Phase phase = Phase::none, Momentum momentum = Momentum::none) {
    return RecordedInput::scroll(dx, dy, phase, momentum);
}

void scroll(ControlledInput& input, float dx, float dy, Phase phase = Phase::none, Momentum momentum = Momentum::none) {
    input.controller.scroll(ScrollEvent{dx, dy, phase, momentum});
}

TEST(PhaselessScroll, CarriesFractionsIntoLaterMessages) {
    ControlledInput input;
    scroll(input, 0, 0.4f);
    scroll(input, 0, 0.4f);
    EXPECT_TRUE(input.take().empty());
    scroll(input, 0, 0.4f); // 1.2: one step, 0.2 left over
    EXPECT_EQ(input.take(), (Events{wheel(0, 1)}));
    scroll(input, 0, -0.6f); // about -0.4
    EXPECT_TRUE(input.take().empty());
    scroll(input, 0, -0.6f);
    EXPECT_EQ(input.take(), (Events{wheel(0, -1)}));
}

TEST(PhaselessScroll, CutsTowardZeroOnBothAxes) {
    ControlledInput input;
    scroll(input, 2.75f, -2.75f);
    scroll(input, 0.25f, -0.25f); // the remainders of 0.75 and -0.75 complete a step each
    EXPECT_EQ(input.take(), (Events{wheel(2, -2), wheel(1, -1)}));
}

TEST(PhaselessScroll, PostsNoPhasesWhateverTheMessageCarries) {
    ControlledInput input;
    scroll(input, 0, 3, Phase::began, Momentum::none);
    scroll(input, 0, 2, Phase::none, Momentum::continue_);
    scroll(input, 0, 0.5f, Phase::ended, Momentum::end); // phases clear nothing here
    scroll(input, 0, 0.5f, Phase::none);
    EXPECT_EQ(input.take(), (Events{wheel(0, 3), wheel(0, 2), wheel(0, 1)}));
}

TEST(PhaselessScroll, LimitsAmountsAndIgnoresNonFiniteOnes) {
    ControlledInput input;
    scroll(input, 0, 0.5f);
    scroll(input, std::numeric_limits<float>::quiet_NaN(), 5);
    scroll(input, 0, std::numeric_limits<float>::infinity());
    scroll(input, 1e9f, -1e9f); // the remainder 0.5 survives the ignored messages
    EXPECT_EQ(input.take(), (Events{wheel(10000, -9999)}));
}

TEST(PhasedScroll, GestureEventsWithoutAWholeStepMoveOnePixelInTheLastDirection) {
    ControlledInput input;
    input.controller.setScrollMode(ScrollMode::phased);
    scroll(input, 0, 0, Phase::began); // nothing scrolled yet: the initial direction is +y
    scroll(input, 0, -3, Phase::changed);
    scroll(input, 0, 0.25f, Phase::changed); // keeps the 0.25
    scroll(input, 0, 0, Phase::ended);       // clears it
    EXPECT_EQ(input.take(), (Events{wheel(0, 1, Phase::began), wheel(0, -3, Phase::changed),
                                    wheel(0, -1, Phase::changed), wheel(0, -1, Phase::ended)}));
    scroll(input, 0, 0.875f); // 0.25 + 0.875 would have made a step
    EXPECT_TRUE(input.take().empty());
}

TEST(PhasedScroll, SubPixelAmountsWithoutPhasesPostNothing) {
    ControlledInput input;
    input.controller.setScrollMode(ScrollMode::phased);
    scroll(input, 0.5f, 0.5f);
    EXPECT_TRUE(input.take().empty());
    scroll(input, 0.5f, 0.25f);
    EXPECT_EQ(input.take(), (Events{wheel(1, 0)}));
}

TEST(PhasedScroll, MomentumEndClearsTheRemainderButCancelDoesNot) {
    ControlledInput input;
    input.controller.setScrollMode(ScrollMode::phased);
    scroll(input, -2.5f, 0, Phase::changed);
    scroll(input, 0, 0, Phase::cancelled); // keeps -0.5
    scroll(input, -0.75f, 0, Phase::none, Momentum::begin);
    scroll(input, -0.5f, 0, Phase::none, Momentum::end); // clears
    scroll(input, -0.75f, 0);
    EXPECT_EQ(input.take(),
              (Events{wheel(-2, 0, Phase::changed), wheel(-1, 0, Phase::cancelled),
                      wheel(-1, 0, Phase::none, Momentum::begin), wheel(-1, 0, Phase::none, Momentum::end)}));
}

TEST(ScrollMode, ChangingModeKeepsRemainderAndDirection) {
    ControlledInput input;
    scroll(input, 0, -1.5f); // phaseless: -1, direction -y, remainder -0.5
    input.controller.setScrollMode(ScrollMode::phased);
    scroll(input, 0, -0.75f, Phase::changed);
    scroll(input, 0, 0, Phase::changed);
    input.controller.setScrollMode(ScrollMode::phaseless);
    scroll(input, 0, -0.5f, Phase::changed); // -0.25 + -0.5 is no step
    EXPECT_EQ(input.take(), (Events{wheel(0, -1), wheel(0, -1, Phase::changed), wheel(0, -1, Phase::changed)}));
    EXPECT_EQ(input.controller.scrollMode(), ScrollMode::phaseless);
}

TEST(ScrollMode, ReleaseAllForgetsTheRemainder) {
    ControlledInput input;
    scroll(input, 0, 0.75f);
    input.controller.releaseAll();
    scroll(input, 0, 0.75f);
    EXPECT_TRUE(input.take().empty());
}

} // namespace
} // namespace orvik::helper::testing
