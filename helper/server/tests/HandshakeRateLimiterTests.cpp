#include "server/HandshakeRateLimiter.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

const std::string peer = "192.168.1.20";

TEST(HandshakeRateLimiter, LockoutsDoubleFromHalfASecondUpToSixtyAndEndStrictly) {
    const double expected[] = {0.5, 1, 2, 4, 8, 16, 32, 60, 60, 60};
    HandshakeRateLimiter limiter;
    EXPECT_FALSE(limiter.isBlocked(peer, 0)) << "an unseen address";
    // Failures 100 s apart, so the window never fills and only the lockout blocks.
    double now = 1000;
    for (double lockout : expected) {
        limiter.recordFailure(peer, now);
        EXPECT_TRUE(limiter.isBlocked(peer, now)) << "the lockout starts at the failure itself";
        EXPECT_TRUE(limiter.isBlocked(peer, now + lockout - 0.001));
        EXPECT_FALSE(limiter.isBlocked(peer, now + lockout)) << "lockout " << lockout;
        EXPECT_FALSE(limiter.isBlocked("10.0.0.2", now)) << "addresses are counted apart";
        now += 100;
    }
    for (int failure = 0; failure < 90; ++failure, now += 100) limiter.recordFailure(peer, now);
    EXPECT_EQ(limiter.entries().at(peer).consecutive, 100);
    EXPECT_EQ(limiter.entries().at(peer).blockedUntil, now - 100 + 60);
}

TEST(HandshakeRateLimiter, TenFailuresInTheWindowBlockUntilTheOldestAgesOut) {
    HandshakeRateLimiter limiter(10, 60, 0.0, 0.0); // no lockout: only the window blocks
    for (int failure = 0; failure < 9; ++failure) limiter.recordFailure(peer, failure);
    EXPECT_FALSE(limiter.isBlocked(peer, 9));
    limiter.recordFailure(peer, 9);
    EXPECT_TRUE(limiter.isBlocked(peer, 59.999));
    // The failure at 0 is exactly 60 s old at 60: it no longer counts, nine remain.
    EXPECT_FALSE(limiter.isBlocked(peer, 60));
    limiter.recordFailure(peer, 60);
    EXPECT_EQ(limiter.entries().at(peer).failures.front(), 1) << "trimmed at exactly one window";
    EXPECT_EQ(limiter.entries().at(peer).consecutive, 11) << "the count survives trimming";
}

TEST(HandshakeRateLimiter, ASuccessForgetsTheAddressButNotTheLog) {
    HandshakeRateLimiter limiter;
    for (int failure = 0; failure < 5; ++failure) limiter.recordFailure(peer, failure);
    ASSERT_TRUE(limiter.isBlocked(peer, 5));
    limiter.recordSuccess(peer);
    EXPECT_FALSE(limiter.isBlocked(peer, 5));
    EXPECT_EQ(limiter.log().size(), 5u);
    limiter.recordFailure(peer, 10);
    EXPECT_EQ(limiter.entries().at(peer).blockedUntil, 10.5) << "the ladder starts again";
    limiter.recordSuccess("10.9.9.9");
    EXPECT_EQ(limiter.entries().size(), 1u) << "a success of an unseen address adds nothing";
}

TEST(HandshakeRateLimiter, TheLogKeepsTheNewestFiftyOfAllAddresses) {
    HandshakeRateLimiter limiter;
    auto base = Date(std::chrono::seconds(1'700'000'000));
    for (int failure = 0; failure < 51; ++failure) {
        limiter.recordFailure(failure % 2 ? "a" : "b", failure, base + std::chrono::seconds(failure));
    }
    ASSERT_EQ(limiter.log().size(), 50u);
    EXPECT_EQ(limiter.log().front(), (HandshakeRateLimiter::LoggedFailure{"a", base + std::chrono::seconds(1)}));
    EXPECT_EQ(limiter.log().back().time, base + std::chrono::seconds(50));
}

TEST(HandshakeRateLimiter, PruningDropsStaleAddressesOnceMoreThan256AreTrackedButKeepsRecentAndLockedOnes) {
    HandshakeRateLimiter limiter(10, 10.0, 0.5, 60.0); // a lockout may outlast this short window
    for (int failure = 1; failure <= 8; ++failure) limiter.recordFailure("locked", failure * 100); // until 860
    for (int address = 0; address < 254; ++address) limiter.recordFailure("stale-" + std::to_string(address), 0);
    limiter.recordFailure("recent", 850);
    EXPECT_EQ(limiter.entries().size(), 256u) << "no pruning at 256";
    limiter.recordFailure("trigger", 855);
    std::vector<std::string> kept;
    for (const auto& [address, entry] : limiter.entries()) kept.push_back(address);
    EXPECT_EQ(kept, (std::vector<std::string>{"locked", "recent", "trigger"}));
}

} // namespace
} // namespace orvik::helper
