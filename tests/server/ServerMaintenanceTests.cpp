#include "ServerHarness.hpp"

#include <gtest/gtest.h>

namespace orvik::test {
namespace {

// The loop's own passes run on real time every 2 seconds; the tests drive passes themselves with the manual
// clock, so the loop's passes only ever repeat what a test already did.
class ServerMaintenance : public ServerWithDevice {
protected:
    void pass() {
        harness.onServer([](HelperServer& s) { HelperServerProbe::runMaintenance(s); });
    }
};

TEST_F(ServerMaintenance, APendingSessionGetsTenSecondsToAuthenticate) {
    auto phone = harness.connect(device.sessionKey());
    phone->hello();
    harness.clock.advance(10);
    pass();
    EXPECT_TRUE(phone->staysQuiet());
    harness.clock.advance(0.5);
    pass();
    auto reply = errorOf(phone->next());
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, ErrorCode::unauthorized);
    EXPECT_EQ(reply->detail, "handshake timeout");
    EXPECT_TRUE(phone->waitForEnd());
    // A timeout is not a failed handshake.
    EXPECT_TRUE(harness.onServer([](HelperServer& s) { return s.recentHandshakeFailures(); }).empty());
    // The pass that closed the only session ended the loop.
    EXPECT_FALSE(harness.onServer([](HelperServer& s) { return HelperServerProbe::maintenanceRunning(s); }));
}

TEST_F(ServerMaintenance, AnAuthenticatedSessionIsEndedSilentlyAfterTwentySecondsWithoutMessages) {
    auto phone = harness.authenticatedPhone(device);
    harness.clock.advance(20);
    pass();
    phone->send(Ping{1}); // a message refreshes the session's activity
    EXPECT_EQ(phone->expect<Pong>().value, 1u);
    harness.clock.advance(20);
    pass();
    EXPECT_FALSE(phone->hasEnded());
    harness.clock.advance(0.1);
    pass();
    EXPECT_TRUE(phone->waitForEnd());
    EXPECT_FALSE(phone->nextIgnoringStatus(0ms));
    EXPECT_FALSE(harness.onServer([](HelperServer& s) { return HelperServerProbe::maintenanceRunning(s); }));

    // The next connection starts a new loop.
    auto next = harness.authenticatedPhone(device);
    EXPECT_TRUE(harness.onServer([](HelperServer& s) { return HelperServerProbe::maintenanceRunning(s); }));
}

TEST_F(ServerMaintenance, StatusIsPushedOnlyToAuthenticatedSessionsAndOnlyWhenChanged) {
    auto pending = harness.connect(device.sessionKey());
    pending->hello();
    pass();
    EXPECT_FALSE(harness.onServer([](HelperServer& s) { return HelperServerProbe::lastPushedStatus(s).has_value(); }));

    auto phone = harness.authenticatedPhone(device);
    pass();
    EXPECT_EQ(phone->expect<HelperStatus>().displayCount, 1);
    EXPECT_TRUE(harness.onServer([](HelperServer& s) { return HelperServerProbe::lastPushedStatus(s).has_value(); }));
    pass();
    EXPECT_FALSE(phone->next(200ms));

    harness.sink->setSecureInput(true);
    pass();
    EXPECT_TRUE(phone->expect<HelperStatus>().secureInputActive);
    EXPECT_FALSE(pending->next(100ms));

    // Once the last session is gone the next push always broadcasts.
    phone->close();
    pending->close();
    ASSERT_TRUE(harness.waitUntil([](HelperServer& s) { return HelperServerProbe::sessionCount(s) == 0; }));
    EXPECT_FALSE(harness.onServer([](HelperServer& s) { return HelperServerProbe::lastPushedStatus(s).has_value(); }));
}

} // namespace
} // namespace orvik::test
