#include "InputTestSupport.hpp"

#include <cmath>
#include <limits>

namespace orvik::helper::testing {
namespace {

using Events = std::vector<RecordedInput>;

const DisplayRect mainDisplay{0, 0, 1440, 900};
const DisplayRect rightDisplay{1440, 0, 1920, 1080};
const DisplayRect aboveDisplay{0, -900, 1440, 900};
const DisplayRect hugeDisplay{-50000, -50000, 100000, 100000};
constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float infinity = std::numeric_limits<float>::infinity();

const std::vector<DisplayRect> mainAndRight{mainDisplay, rightDisplay};
const std::vector<DisplayRect> apart{{0, 0, 100, 100}, {200, 0, 100, 100}};

// One relative move from `start` on these displays, and where it lands (or that nothing is posted).
struct MoveCase {
    const char* name;
    std::vector<DisplayRect> displays;
    DisplayPoint start;
    DisplayVector delta;
    DisplayPoint landing;
    bool posts = true;

    friend void PrintTo(const MoveCase& move, std::ostream* out) { *out << move.name; }
};

class RelativeMotion : public ::testing::TestWithParam<MoveCase> {};

TEST_P(RelativeMotion, LandsOnTheDisplaysAsTheGeometrySays) {
    const auto& move = GetParam();
    ControlledInput input(std::make_shared<RecordingSink>(move.displays, move.start));
    input.controller.movePointer(static_cast<float>(move.delta.dx), static_cast<float>(move.delta.dy));
    EXPECT_EQ(input.take(), move.posts ? Events{moved(move.landing.x, move.landing.y)} : Events{});
}

// (1400, 1000) lies on no display: pinned to the left edge of the display the pointer was on. Off every display
// and equally far from two, the earlier display wins.
INSTANTIATE_TEST_SUITE_P(
    Moves, RelativeMotion,
    ::testing::Values(MoveCase{"stopsAtTheDisplayEdge", {mainDisplay}, {720, 450}, {10000, 0}, {1439, 450}},
                      MoveCase{"limitsEachMessageToTenThousandPoints", {hugeDisplay}, {}, {1e9, -1e9}, {1e4, -1e4}},
                      MoveCase{"limitsTheLargestFloat", {hugeDisplay}, {}, {-3.4e38, 0}, {-10000, 0}},
                      MoveCase{"ignoresANanDelta", {mainDisplay}, {720, 450}, {nan, 1}, {}, false},
                      MoveCase{"ignoresAnInfiniteDelta", {mainDisplay}, {720, 450}, {1, -infinity}, {}, false},
                      MoveCase{"crossesOntoAnAdjacentDisplay", mainAndRight, {1430, 100}, {20, 0}, {1450, 100}},
                      MoveCase{"isPinnedLeavingEveryDisplay", mainAndRight, {1500, 1000}, {-100, 0}, {1440, 1000}},
                      MoveCase{"keepsTheLastPointOfTheCorner", mainAndRight, {1500, 1000}, {5e3, 5e3}, {3359, 1079}},
                      MoveCase{"maximumEdgesLieOutside", {mainDisplay}, {1439, 899}, {1, 1}, {1439, 899}},
                      MoveCase{"aboveIsNegative", {mainDisplay, aboveDisplay}, {100, -40}, {0, -2000}, {100, -900}},
                      MoveCase{"pinsToTheEarlierOnTies", apart, {150, 50}, {0, 0}, {99, 50}},
                      MoveCase{"pinsToTheNearest", apart, {160, 50}, {0, 0}, {200, 50}},
                      MoveCase{"withoutDisplaysThePointerStays", {}, {30, 40}, {50, 50}, {30, 40}}),
    [](const ::testing::TestParamInfo<MoveCase>& row) { return std::string(row.param.name); });

// Records the delta each motion carries, which RecordingSink leaves out.
class DeltaSink final : public InputSink {
public:
    explicit DeltaSink(std::vector<DisplayRect> displays) : inner(std::move(displays), {100, 100}) {}

    RecordingSink inner;
    std::vector<DisplayVector> deltas;

    CursorReading cursorLocation() const override { return inner.cursorLocation(); }
    std::vector<DisplayRect> displayBounds() const override { return inner.displayBounds(); }
    std::optional<DisplayRect> displayBounds(std::uint32_t id) const override { return inner.displayBounds(id); }
    void postMouse(MouseEventKind kind, std::optional<MouseButton> button, DisplayPoint at, int count,
                   DisplayVector delta) override {
        deltas.push_back(delta);
        inner.postMouse(kind, button, at, count, delta);
    }
    void postScroll(std::int32_t, std::int32_t, ScrollPhase, MomentumPhase) override {}
    void postKey(std::uint16_t, bool, ModifierFlags) override {}
    void postModifierChange(std::uint16_t, ModifierFlags) override {}
    void postUnicode(std::u16string_view, bool) override {}
    void postMediaKey(std::int32_t, bool) override {}
    bool isSecureInputEnabled() const override { return false; }
    double doubleClickInterval() const override { return 0.5; }
};

TEST(MotionDelta, IsTheMotionActuallyAppliedFromThePreviousPosition) {
    auto sink = std::make_shared<DeltaSink>(std::vector{mainDisplay});
    InputController controller(sink, [] { return 0.0; });
    controller.movePointer(10, -5);
    controller.movePointer(10000, 0);
    controller.movePointerAbsolute(PointerAbsolute{1, 0, 0, 0});
    controller.movePointerAbsolute(PointerAbsolute{1, 1, 1, 0});
    EXPECT_EQ(sink->deltas, (std::vector<DisplayVector>{{10, -5}, {1329, 0}, {-1439, -95}, {1439, 899}}));

    auto noDisplays = std::make_shared<DeltaSink>(std::vector<DisplayRect>{});
    InputController pinned(noDisplays, [] { return 0.0; });
    pinned.movePointer(50, 50);
    EXPECT_EQ(noDisplays->deltas, (std::vector<DisplayVector>{{0, 0}}));
}

// Clock steps are binary fractions, so the differences below are exact.
TEST(PointerCache, UsesItsOwnPositionUntilAQuarterSecondPauseThenRereads) {
    ControlledInput input;
    input.controller.movePointer(10, 0); // reads (720, 450)
    input.sink->setCursor({100, 100});   // the local mouse moves meanwhile
    input.clock += 0.125;
    input.controller.movePointer(10, 0);
    input.clock += 0.1875;
    input.controller.key(KeyEvent{0, {}, KeyAction::up}); // not held: posts nothing, but counts as input
    input.clock += 0.1875;
    input.controller.movePointer(10, 0);
    input.clock += 0.25; // exactly the resync interval after the last injection
    input.sink->setCursor({100, 100});
    input.controller.movePointer(10, 0);
    EXPECT_EQ(input.take(), (Events{moved(730, 450), moved(740, 450), moved(750, 450), moved(110, 100)}));
}

TEST(PointerCache, IgnoredInputDoesNotKeepTheCacheAlive) {
    ControlledInput input;
    input.controller.movePointer(10, 0);
    input.sink->setCursor({100, 100});
    input.clock += 0.2;
    input.controller.movePointer(nan, 0);
    input.controller.key(KeyEvent{128, {}, KeyAction::press});
    input.controller.handleButton(ButtonEvent{MouseButton::left, ButtonAction::up}); // not held
    input.clock += 0.1;
    input.controller.movePointer(10, 0);
    EXPECT_EQ(input.take(), (Events{moved(730, 450), moved(110, 100)}));
}

TEST(AbsoluteMotion, MapsFractionsOntoWholePointsOfTheNamedDisplayAndIgnoresTheRest) {
    ControlledInput input(
        std::make_shared<RecordingSink>(std::vector{mainDisplay, rightDisplay, DisplayRect{4000, 0, 0.5, 900}}));
    auto to = [&](std::uint32_t display, float x, float y) {
        input.controller.movePointerAbsolute(PointerAbsolute{display, x, y, 0});
    };
    to(1, 0.5f, 0.5f); // 719.5 and 449.5 round away from zero
    to(1, 1, 1);
    to(1, -3, 7);
    to(2, 0, 1);
    to(2, 0.5f, 0);
    for (std::uint32_t ignored : {0u, 4u, 3u}) to(ignored, 0.5f, 0.5f); // unknown, and a display too small
    to(1, nan, 0.5f);
    to(1, 0.5f, infinity);
    EXPECT_EQ(input.take(),
              (Events{moved(720, 450), moved(1439, 899), moved(0, 899), moved(1440, 1079), moved(2400, 0)}));
}

TEST(Dragging, MotionWhileAButtonIsHeldDragsTheLatestHeldButton) {
    ControlledInput input;
    input.controller.handleButton(ButtonEvent{MouseButton::left, ButtonAction::down});
    input.controller.movePointer(1, 0);
    input.controller.handleButton(ButtonEvent{MouseButton::right, ButtonAction::down});
    input.controller.movePointer(1, 0);
    input.controller.handleButton(ButtonEvent{MouseButton::right, ButtonAction::up});
    input.controller.movePointerAbsolute(PointerAbsolute{1, 0, 0, 0});
    input.controller.handleButton(ButtonEvent{MouseButton::left, ButtonAction::up});
    input.controller.movePointer(1, 0);
    EXPECT_EQ(input.take(), (Events{down(MouseButton::left, 720, 450, 1), dragged(MouseButton::left, 721, 450),
                                    down(MouseButton::right, 721, 450, 1), dragged(MouseButton::right, 722, 450),
                                    up(MouseButton::right, 722, 450, 1), dragged(MouseButton::left, 0, 0),
                                    up(MouseButton::left, 0, 0, 1), moved(1, 0)}));
}

} // namespace
} // namespace orvik::helper::testing
