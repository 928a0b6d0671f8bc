#include "ServerHarness.hpp"

#include <gtest/gtest.h>

namespace orvik::test {
namespace {

// The loop's own passes run on real time every 2 seconds; the tests run passes themselves with the manual
// clock, so the loop's passes only ever repeat what a test already did.
class ServerMaintenance : public ServerWithDevice {
protected:
    bool maintenanceRunning() {
        return harness.onServer([](HelperServer& s) { return s.isMaintenanceRunning(); });
    }
};

TEST_F(ServerMaintenance, APendingSessionGetsTenSecondsToAuthenticate) {
    auto phone = harness.connect(device.sessionKey());
    phone->hello();
    harness.clock.advance(10);
    phone->send(Ping{1}); // a message does not extend the limit
    phone->expect<Pong>();
    harness.maintenancePass();
    EXPECT_TRUE(phone->staysQuiet());
    harness.clock.advance(0.5);
    harness.maintenancePass();
    EXPECT_EQ(errorOf(phone->next()), (ErrorMessage{ErrorCode::unauthorized, "handshake timeout"}));
    EXPECT_TRUE(phone->waitForEnd());
    EXPECT_EQ(failuresRecorded(), 0u) << "a timeout is not a failed handshake";
    EXPECT_FALSE(maintenanceRunning()) << "the pass that closed the only session ended the loop";
}

TEST_F(ServerMaintenance, AnAuthenticatedSessionIsEndedSilentlyAfterTwentySecondsWithoutMessages) {
    auto phone = harness.authenticatedPhone(device);
    harness.clock.advance(20);
    harness.maintenancePass();
    phone->send(Ping{1}); // a message refreshes the session's activity
    EXPECT_EQ(phone->expect<Pong>().value, 1u);
    harness.clock.advance(20);
    harness.maintenancePass();
    EXPECT_FALSE(phone->hasEnded());
    harness.clock.advance(0.1);
    harness.maintenancePass();
    EXPECT_TRUE(phone->waitForEnd());
    EXPECT_FALSE(phone->nextIgnoringStatus(0ms));
    EXPECT_FALSE(maintenanceRunning());

    auto next = harness.authenticatedPhone(device);
    EXPECT_TRUE(maintenanceRunning()) << "the next connection starts a new loop";
}

TEST_F(ServerMaintenance, StatusIsPushedOnlyToAuthenticatedSessionsAndOnlyWhenChanged) {
    auto pending = harness.connect(device.sessionKey());
    pending->hello();
    harness.maintenancePass(); // only pending sessions: nothing is pushed, so the next pass still pushes
    for (int round = 0; round < 2; ++round) {
        auto phone = harness.authenticatedPhone(device);
        harness.maintenancePass();
        EXPECT_EQ(phone->expect<HelperStatus>().displayCount, 1);
        harness.maintenancePass();
        EXPECT_FALSE(phone->next(200ms));
        if (round == 0) {
            harness.sink->setSecureInput(true);
            harness.maintenancePass();
            EXPECT_TRUE(phone->expect<HelperStatus>().secureInputActive);
            EXPECT_FALSE(pending->next(100ms));
            pending->close();
        }
        // Once the last session is gone the next push always broadcasts, changed or not.
        phone->close();
        ASSERT_TRUE(harness.waitUntil([](HelperServer& s) { return s.sessionCount() == 0; }));
    }
}

} // namespace
} // namespace orvik::test
