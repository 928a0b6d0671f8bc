#include "InputTestSupport.hpp"

#include <cmath>
#include <limits>

namespace orvik::helper::testing {
namespace {

using Events = std::vector<RecordedInput>;

const DisplayRect mainDisplay{0, 0, 1440, 900};
const DisplayRect rightDisplay{1440, 0, 1920, 1080};

// Records the delta each motion carries, which RecordingSink leaves out.
class DeltaSink final : public InputSink {
public:
    explicit DeltaSink(std::vector<DisplayRect> displays) : inner(std::move(displays)) {}

    RecordingSink inner;
    std::vector<DisplayVector> deltas;

    DisplayPoint cursorLocation() const override { return inner.cursorLocation(); }
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

TEST(RelativeMotion, MovesByTheDeltaAndStopsAtTheDisplayEdge) {
    auto sink = std::make_shared<DeltaSink>(std::vector{mainDisplay});
    sink->inner.setCursor({720, 450});
    double clock = 0;
    InputController controller(sink, [&] { return clock; });

    controller.movePointer(10, -5);
    controller.movePointer(10000, 0);

    EXPECT_EQ(sink->inner.events(), (Events{moved(730, 445), moved(1439, 445)}));
    // The delta is the motion actually applied, after clamping.
    EXPECT_EQ(sink->deltas, (std::vector<DisplayVector>{{10, -5}, {709, 0}}));
}

TEST(RelativeMotion, LimitsEachMessageToTenThousandPoints) {
    ControlledInput input(
        std::make_shared<RecordingSink>(std::vector{DisplayRect{-50000, -50000, 100000, 100000}}, DisplayPoint{0, 0}));
    input.controller.movePointer(1e9f, -1e9f);
    input.controller.movePointer(-std::numeric_limits<float>::max(), 0);
    EXPECT_EQ(input.take(), (Events{moved(10000, -10000), moved(0, -10000)}));
}

TEST(RelativeMotion, IgnoresNonFiniteDeltas) {
    ControlledInput input;
    input.controller.movePointer(std::numeric_limits<float>::quiet_NaN(), 1);
    input.controller.movePointer(1, std::numeric_limits<float>::infinity());
    input.controller.movePointer(-std::numeric_limits<float>::infinity(), 0);
    EXPECT_TRUE(input.take().empty());
}

TEST(RelativeMotion, CrossesOntoAnAdjacentDisplayButIsPinnedWhenLeavingAll) {
    auto sink = std::make_shared<RecordingSink>(std::vector{mainDisplay, rightDisplay}, DisplayPoint{1430, 100});
    ControlledInput input(sink);

    input.controller.movePointer(20, 0);
    EXPECT_EQ(input.take(), (Events{moved(1450, 100)}));

    // (1400, 1000) lies on no display: pinned to the left edge of the display the pointer was on.
    sink->setCursor({1500, 1000});
    input.clock += 1;
    input.controller.movePointer(-100, 0);
    EXPECT_EQ(input.take(), (Events{moved(1440, 1000)}));

    // Leaving the bottom-right corner of every display keeps the last whole point of that display.
    input.controller.movePointer(5000, 5000);
    EXPECT_EQ(input.take(), (Events{moved(3359, 1079)}));
}

TEST(RelativeMotion, MaximumEdgesLieOutsideTheDisplay) {
    ControlledInput input(std::make_shared<RecordingSink>(std::vector{mainDisplay}, DisplayPoint{1438, 898}));
    input.controller.movePointer(1, 1);
    input.controller.movePointer(1, 1);
    EXPECT_EQ(input.take(), (Events{moved(1439, 899), moved(1439, 899)}));
}

TEST(RelativeMotion, DisplaysAboveTheMainOneHaveNegativeCoordinates) {
    DisplayRect above{0, -900, 1440, 900};
    ControlledInput input(std::make_shared<RecordingSink>(std::vector{mainDisplay, above}, DisplayPoint{100, 10}));
    input.controller.movePointer(0, -50);
    input.controller.movePointer(0, -2000);
    EXPECT_EQ(input.take(), (Events{moved(100, -40), moved(100, -900)}));
}

TEST(RelativeMotion, FromOffEveryDisplayItPinsToTheNearestEarlierOnTies) {
    DisplayRect left{0, 0, 100, 100};
    DisplayRect right{200, 0, 100, 100};
    auto sink = std::make_shared<RecordingSink>(std::vector{left, right}, DisplayPoint{150, 50});
    ControlledInput input(sink);

    // Equally far from both: the earlier display wins.
    input.controller.movePointer(0, 0);
    EXPECT_EQ(input.take(), (Events{moved(99, 50)}));

    sink->setCursor({160, 50});
    input.clock += 1;
    input.controller.movePointer(0, 0);
    EXPECT_EQ(input.take(), (Events{moved(200, 50)}));
}

TEST(RelativeMotion, WithoutDisplaysThePointerStaysButAnEventIsPosted) {
    auto sink = std::make_shared<DeltaSink>(std::vector<DisplayRect>{});
    sink->inner.setCursor({30, 40});
    InputController controller(sink, [] { return 0.0; });
    controller.movePointer(50, 50);
    EXPECT_EQ(sink->inner.events(), (Events{moved(30, 40)}));
    EXPECT_EQ(sink->deltas, (std::vector<DisplayVector>{{0, 0}}));
}

TEST(PointerCache, UsesItsOwnPositionUntilAQuarterSecondPauseThenRereads) {
    ControlledInput input;
    input.controller.movePointer(10, 0); // reads (720, 450)
    input.sink->setCursor({100, 100});   // the local mouse moves meanwhile
    input.clock += 0.125;                // clock steps are binary fractions, so the differences below are exact
    input.controller.movePointer(10, 0);
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
    input.controller.movePointer(std::numeric_limits<float>::quiet_NaN(), 0);
    input.controller.key(KeyEvent{128, {}, KeyAction::press});
    input.controller.handleButton(ButtonEvent{MouseButton::left, ButtonAction::up}); // not held
    input.clock += 0.1;
    input.controller.movePointer(10, 0);
    EXPECT_EQ(input.take(), (Events{moved(730, 450), moved(110, 100)}));
}

TEST(PointerCache, KeyMessagesKeepTheCacheAliveEvenWhenTheyPostNothing) {
    ControlledInput input;
    input.controller.movePointer(10, 0);
    input.sink->setCursor({100, 100});
    input.clock += 0.2;
    input.controller.key(KeyEvent{0, {}, KeyAction::up}); // not held: posts nothing
    input.clock += 0.1;
    input.controller.movePointer(10, 0);
    EXPECT_EQ(input.take(), (Events{moved(730, 450), moved(740, 450)}));
}

TEST(AbsoluteMotion, MapsFractionsOntoWholePointsOfTheNamedDisplay) {
    ControlledInput input(std::make_shared<RecordingSink>(std::vector{mainDisplay, rightDisplay}));
    auto to = [&](std::uint32_t display, float x, float y) {
        input.controller.movePointerAbsolute(PointerAbsolute{display, x, y, 0});
    };
    to(1, 0.5f, 0.5f); // 719.5 and 449.5 round away from zero
    to(1, 1, 1);
    to(1, -3, 7);
    to(2, 0, 1);
    to(2, 0.5f, 0);
    EXPECT_EQ(input.take(),
              (Events{moved(720, 450), moved(1439, 899), moved(0, 899), moved(1440, 1079), moved(2400, 0)}));
}

TEST(AbsoluteMotion, IgnoresUnknownDisplaysTinyDisplaysAndNonFiniteFractions) {
    ControlledInput input(std::make_shared<RecordingSink>(std::vector{mainDisplay, DisplayRect{2000, 0, 0.5, 900}}));
    auto nan = std::numeric_limits<float>::quiet_NaN();
    input.controller.movePointerAbsolute(PointerAbsolute{0, 0.5f, 0.5f, 0});
    input.controller.movePointerAbsolute(PointerAbsolute{3, 0.5f, 0.5f, 0});
    input.controller.movePointerAbsolute(PointerAbsolute{2, 0.5f, 0.5f, 0});
    input.controller.movePointerAbsolute(PointerAbsolute{1, nan, 0.5f, 0});
    input.controller.movePointerAbsolute(PointerAbsolute{1, 0.5f, std::numeric_limits<float>::infinity(), 0});
    EXPECT_TRUE(input.take().empty());
}

TEST(AbsoluteMotion, DeltaIsMeasuredFromThePreviousPosition) {
    auto sink = std::make_shared<DeltaSink>(std::vector{mainDisplay});
    sink->inner.setCursor({100, 100});
    InputController controller(sink, [] { return 0.0; });
    controller.movePointerAbsolute(PointerAbsolute{1, 0, 0, 0});
    controller.movePointerAbsolute(PointerAbsolute{1, 1, 1, 0});
    EXPECT_EQ(sink->deltas, (std::vector<DisplayVector>{{-100, -100}, {1439, 899}}));
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
