#include "injection/x11/X11SpareKeycodes.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

using Lease = X11SpareKeycodes::Lease;
using Levels = X11SpareKeycodes::Levels;
constexpr double reuse = X11SpareKeycodes::reuseDelay;
constexpr double idle = X11SpareKeycodes::giveBackDelay;

struct X11SpareKeycodesFixture : ::testing::Test {
    X11SpareKeycodes spares;
    void SetUp() override {
        spares.add(100);
        spares.add(101);
    }
    // Leases a level for `keysym` and presses it at `now`.
    std::optional<Lease> type(std::uint32_t keysym, double now) {
        auto lease = spares.leaseLevel(keysym, now);
        if (lease) spares.used(lease->keycode, lease->level, now);
        return lease;
    }
};

TEST_F(X11SpareKeycodesFixture, plainLevelsGoFirstThenShiftLevelsAndARepeatKeepsItsPlace) {
    EXPECT_EQ(type(1, 10), (Lease{100, 0, true}));
    EXPECT_EQ(spares.binding(100), (Levels{1, 1})) << "one keysym fills both levels";
    EXPECT_EQ(type(2, 10), (Lease{101, 0, true}));
    EXPECT_EQ(type(3, 10), (Lease{100, 1, true}));
    EXPECT_EQ(type(1, 10), (Lease{100, 0, false}));
    EXPECT_EQ(type(4, 10), (Lease{101, 1, true}));
    EXPECT_EQ(spares.binding(100), (Levels{1, 3}));
    EXPECT_EQ(spares.binding(101), (Levels{2, 4}));
}

TEST_F(X11SpareKeycodesFixture, aPlaceIsBoundAgainOnlyWhenItsLastPressIsOldEnoughTheOldestFirst) {
    type(1, 10);
    type(2, 10.5);
    type(3, 10.2);
    type(4, 10.1);
    EXPECT_EQ(type(5, 10 + reuse - 0.01), std::nullopt) << "applications may still be reading every place";
    EXPECT_TRUE(spares.canEverLease());
    EXPECT_EQ(spares.nextFree(false), 10 + reuse);
    EXPECT_EQ(type(5, 10 + reuse), (Lease{100, 0, true}));
    EXPECT_EQ(type(6, 10.1 + reuse), (Lease{101, 1, true})) << "4, pressed at 10.1, is the oldest now";
    EXPECT_EQ(spares.binding(101), (Levels{2, 6}));
}

TEST_F(X11SpareKeycodesFixture, aHeldKeyTakesAWholeKeycodeThatNothingElseGets) {
    type(1, 10);
    auto key = spares.leaseKey(9, 10);
    EXPECT_EQ(key, (Lease{101, 0, true}));
    EXPECT_EQ(spares.binding(101), (Levels{9, 9}));
    spares.pressed(101);
    EXPECT_EQ(spares.leaseKey(8, 10), std::nullopt) << "100 is still being read";
    EXPECT_EQ(spares.nextFree(true), 10 + reuse);
    EXPECT_EQ(type(9, 100), (Lease{100, 1, true})) << "not on the held keycode; and a free place before an old one";
    EXPECT_EQ(spares.takeIdle(1000), (std::vector<std::uint8_t>{100})) << "held keycodes stay bound";

    spares.pressed(100);
    EXPECT_FALSE(spares.canEverLease());
    spares.released(100, 1000);
    spares.released(101, 1000);
    EXPECT_EQ(spares.leaseKey(9, 1000), (Lease{101, 0, false}));
}

TEST_F(X11SpareKeycodesFixture, bindingsIdleForTheGiveBackDelayGoBackToNoSymbol) {
    type(1, 10);
    type(2, 12);
    EXPECT_EQ(spares.nextIdle(), 10 + idle);
    EXPECT_EQ(spares.takeIdle(10 + idle), (std::vector<std::uint8_t>{100}));
    EXPECT_EQ(spares.binding(100), (Levels{}));
    EXPECT_EQ(spares.latestUse(), 12);
    EXPECT_EQ(spares.takeAllBound(), (std::vector<std::uint8_t>{101}));
    EXPECT_EQ(spares.nextIdle(), std::nullopt);
    EXPECT_EQ(spares.latestUse(), std::nullopt);
}

TEST_F(X11SpareKeycodesFixture, aSpareSomeoneElseChangedLeavesThePoolAndOneTheyEmptiedStays) {
    type(1, 10);
    type(2, 10);
    spares.reconcile(100, Levels{1, 1});
    spares.reconcile(101, Levels{0, 0});
    EXPECT_EQ(spares.binding(101), (Levels{})) << "emptied: ours again, unbound";
    spares.reconcile(100, Levels{7, 0});
    spares.reconcile(101, std::nullopt);
    EXPECT_TRUE(spares.keycodes().empty());
    spares.add(101);
    EXPECT_EQ(spares.keycodes(), (std::vector<std::uint8_t>{101}));
}

} // namespace
} // namespace orvik::helper
