#include "InputTestSupport.hpp"

#include <limits>

namespace orvik::helper::testing {
namespace {

using Events = std::vector<RecordedInput>;
using Phase = ScrollPhase;
using Momentum = MomentumPhase;
constexpr float nanDelta = std::numeric_limits<float>::quiet_NaN();
constexpr float infiniteDelta = std::numeric_limits<float>::infinity();

RecordedInput wheel(std::int32_t dx, std::int32_t dy, Phase phase = Phase::none, Momentum momentum = Momentum::none) {
    return RecordedInput::scroll(dx, dy, phase, momentum);
}

// One scroll message, or (with `mode`) a change of the scroll mode before it.
struct Step {
    float dx;
    float dy;
    Phase phase = Phase::none;
    Momentum momentum = Momentum::none;
    std::optional<ScrollMode> mode = std::nullopt;
};

struct ScrollCase {
    const char* name;
    ScrollMode mode;
    std::vector<Step> steps;
    Events expected;

    friend void PrintTo(const ScrollCase& sequence, std::ostream* out) { *out << sequence.name; }
};

class ScrollSequences : public ::testing::TestWithParam<ScrollCase> {};

TEST_P(ScrollSequences, PostWholePixelsAndCarryTheFractions) {
    ControlledInput input;
    input.controller.setScrollMode(GetParam().mode);
    for (const auto& step : GetParam().steps) {
        if (step.mode) input.controller.setScrollMode(*step.mode);
        input.controller.scroll(ScrollEvent{step.dx, step.dy, step.phase, step.momentum});
    }
    EXPECT_EQ(input.take(), GetParam().expected);
}

constexpr auto phased = ScrollMode::phased;
constexpr auto phaseless = ScrollMode::phaseless;

INSTANTIATE_TEST_SUITE_P(
    Scroll, ScrollSequences,
    ::testing::Values(
        // 0.4 three times is one step with about 0.2 left; -0.6 twice then makes a step back.
        ScrollCase{"carriesFractionsIntoLaterMessages",
                   phaseless,
                   {{0, 0.4f}, {0, 0.4f}, {0, 0.4f}, {0, -0.6f}, {0, -0.6f}},
                   {wheel(0, 1), wheel(0, -1)}},
        ScrollCase{
            "cutsTowardZeroOnBothAxes", phaseless, {{2.75f, -2.75f}, {0.25f, -0.25f}}, {wheel(2, -2), wheel(1, -1)}},
        // Phases clear nothing in this mode.
        ScrollCase{"phaselessPostsNoPhasesWhateverTheMessageCarries",
                   phaseless,
                   {{0, 3, Phase::began},
                    {0, 2, Phase::none, Momentum::continue_},
                    {0, 0.5f, Phase::ended, Momentum::end},
                    {0, 0.5f}},
                   {wheel(0, 3), wheel(0, 2), wheel(0, 1)}},
        // The remainder 0.5 survives the ignored messages.
        ScrollCase{"limitsAmountsAndIgnoresNonFiniteOnes",
                   phaseless,
                   {{0, 0.5f}, {nanDelta, 5}, {0, infiniteDelta}, {1e9f, -1e9f}},
                   {wheel(10000, -9999)}},
        // Nothing scrolled yet: the initial direction is +y; 0.25 is kept by changed and cleared by ended.
        ScrollCase{"gestureEventsWithoutAWholeStepMoveOnePixelInTheLastDirection",
                   phased,
                   {{0, 0, Phase::began},
                    {0, -3, Phase::changed},
                    {0, 0.25f, Phase::changed},
                    {0, 0, Phase::ended},
                    {0, 0.875f}},
                   {wheel(0, 1, Phase::began), wheel(0, -3, Phase::changed), wheel(0, -1, Phase::changed),
                    wheel(0, -1, Phase::ended)}},
        ScrollCase{"subPixelAmountsWithoutPhasesPostNothing", phased, {{0.5f, 0.5f}, {0.5f, 0.25f}}, {wheel(1, 0)}},
        ScrollCase{"momentumEndClearsTheRemainderButCancelDoesNot",
                   phased,
                   {{-2.5f, 0, Phase::changed},
                    {0, 0, Phase::cancelled},
                    {-0.75f, 0, Phase::none, Momentum::begin},
                    {-0.5f, 0, Phase::none, Momentum::end},
                    {-0.75f, 0}},
                   {wheel(-2, 0, Phase::changed), wheel(-1, 0, Phase::cancelled),
                    wheel(-1, 0, Phase::none, Momentum::begin), wheel(-1, 0, Phase::none, Momentum::end)}},
        // -1 with -0.5 left and direction -y; the remainder and direction carry over both changes.
        ScrollCase{"changingModeKeepsRemainderAndDirection",
                   phaseless,
                   {{0, -1.5f},
                    {0, -0.75f, Phase::changed, Momentum::none, phased},
                    {0, 0, Phase::changed},
                    {0, -0.5f, Phase::changed, Momentum::none, phaseless}},
                   {wheel(0, -1), wheel(0, -1, Phase::changed), wheel(0, -1, Phase::changed)}}),
    [](const ::testing::TestParamInfo<ScrollCase>& row) { return std::string(row.param.name); });

TEST(ScrollMode, ReleaseAllForgetsTheRemainder) {
    ControlledInput input;
    input.controller.scroll(ScrollEvent{0, 0.75f, Phase::none, Momentum::none});
    input.controller.releaseAll();
    input.controller.scroll(ScrollEvent{0, 0.75f, Phase::none, Momentum::none});
    EXPECT_TRUE(input.take().empty());
}

} // namespace
} // namespace orvik::helper::testing
