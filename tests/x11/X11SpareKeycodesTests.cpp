#include "injection/x11/X11SpareKeycodes.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

using Lease = X11SpareKeycodes::Lease;
constexpr double delay = X11SpareKeycodes::restoreDelay;

struct X11SpareKeycodesTest : ::testing::Test {
    X11SpareKeycodes spares;
    void SetUp() override { spares.assign({100, 101, 102}); }
};

TEST_F(X11SpareKeycodesTest, distinctKeysymsRotateOverTheSparesAndRepeatsReuseTheirKeycode) {
    EXPECT_EQ(spares.lease(0xE9, 10), (Lease{100, true}));
    spares.used(100, 10);
    EXPECT_EQ(spares.lease(0xFC, 10), (Lease{101, true}));
    spares.used(101, 10);
    EXPECT_EQ(spares.lease(0xE9, 10), (Lease{100, false}));
    EXPECT_EQ(spares.lease(0xDF, 10), (Lease{102, true}));
    spares.used(102, 10);
    EXPECT_EQ(spares.lease(0x20AC, 10 + delay / 2), std::nullopt) << "every spare was used just now";
    EXPECT_TRUE(spares.canEverLease());
    EXPECT_EQ(spares.nextDeadline(), 10 + delay);
}

TEST_F(X11SpareKeycodesTest, theSpareUsedLongestAgoIsRelentFirst) {
    for (std::uint32_t keysym : {1u, 2u, 3u}) {
        auto lease = spares.lease(keysym, 10);
        spares.used(lease->keycode, 10 + keysym * 0.001);
    }
    EXPECT_EQ(spares.lease(4, 11), (Lease{100, true}));
    spares.used(100, 11);
    EXPECT_EQ(spares.lease(5, 11), (Lease{101, true}));
}

TEST_F(X11SpareKeycodesTest, dueSparesAreGivenBackOnlyAfterTheDelay) {
    spares.lease(1, 10);
    spares.used(100, 10);
    spares.lease(2, 10);
    spares.used(101, 10.005);
    EXPECT_TRUE(spares.takeDue(10 + delay - 0.001).empty());
    EXPECT_EQ(spares.takeDue(10 + delay), (std::vector<std::uint8_t>{100}));
    EXPECT_EQ(spares.nextDeadline(), 10.005 + delay);
    EXPECT_EQ(spares.takeDue(11), (std::vector<std::uint8_t>{101}));
    EXPECT_EQ(spares.nextDeadline(), std::nullopt);
    spares.assign({100});
    spares.lease(1, 11);
    spares.used(100, 11);
    spares.takeDue(12);
    EXPECT_EQ(spares.lease(1, 12), (Lease{100, true})) << "a given-back spare must be bound again";
}

TEST_F(X11SpareKeycodesTest, heldSparesAreNeitherRelentNorGivenBack) {
    spares.assign({100});
    spares.lease(1, 10);
    spares.pressed(100);
    EXPECT_EQ(spares.lease(2, 20), std::nullopt);
    EXPECT_FALSE(spares.canEverLease()) << "the only spare is held: waiting would never end";
    EXPECT_TRUE(spares.takeDue(20).empty());
    EXPECT_EQ(spares.nextDeadline(), std::nullopt);
    spares.released(100, 20);
    EXPECT_EQ(spares.nextDeadline(), 20 + delay);
    EXPECT_EQ(spares.takeDue(20 + delay), (std::vector<std::uint8_t>{100}));
}

TEST_F(X11SpareKeycodesTest, aSpareTakenByAnotherProgramLeavesThePool) {
    spares.lease(1, 10);
    spares.reconcile(100, 1);
    spares.reconcile(101, 0);
    spares.reconcile(102, 0x61);
    EXPECT_EQ(spares.keycodes(), (std::vector<std::uint8_t>{100, 101}));
    spares.reconcile(100, 0); // given back by someone else: ours again, unbound
    EXPECT_EQ(spares.lease(1, 10), (Lease{101, true})) << "keysym 1 must be bound again, on the spare unused longest";
}

TEST_F(X11SpareKeycodesTest, shuttingDownTakesEveryBoundSpare) {
    spares.lease(1, 10);
    spares.pressed(100);
    spares.lease(2, 10);
    EXPECT_EQ(spares.latestUse(), 10);
    EXPECT_EQ(spares.takeAllBound(), (std::vector<std::uint8_t>{100, 101}));
    EXPECT_EQ(spares.latestUse(), std::nullopt);
}

} // namespace
} // namespace orvik::helper
