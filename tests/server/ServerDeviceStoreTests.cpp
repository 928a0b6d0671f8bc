// What the server asks of its device store beyond the list and the keys: keys that arrive after the start, and a
// save of what the store kept for later when the server stops.
#include "ServerHarness.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>

namespace orvik::test {
namespace {

TEST(ServerDeviceStore, KeysTheStoreLoadsAfterTheStartReachTheListenerWhenTheyArrive) {
    ServerHarness harness;
    harness.store->keysPending = true;
    harness.start();
    auto device = harness.addPairedDevice("Anna");
    harness.store->releaseKeys();
    harness.waitForListenerReady();
    EXPECT_TRUE(harness.authenticatedPhone(device));
}

bool anyHandshakeFailed(ServerHarness& harness) {
    auto events = harness.events();
    return std::any_of(events.begin(), events.end(),
                       [](const ServerEvent& event) { return event.get<ServerEvent::HandshakeFailed>() != nullptr; });
}

std::size_t failuresRecorded(ServerHarness& harness) {
    return harness.onServer([](HelperServer& s) { return s.recentHandshakeFailures(); }).size();
}

// Mend: while the store still loaded its keys at start, a paired phone failed TLS with an unknown identity, was
// locked out for it and published as a failed handshake.
TEST(ServerDeviceStore, APhoneConnectingWhileTheStoreLoadsItsKeysWaitsForThemAndIsNeverAFailure) {
    ServerHarness harness;
    harness.store->keysPending = true;
    harness.start();
    auto device = harness.addPairedDevice("Anna");
    auto connecting = std::async(std::launch::async, [&] { return harness.connect(device.sessionKey()); });
    EXPECT_EQ(connecting.wait_for(300ms), std::future_status::timeout) << "TLS waits for the keys";
    harness.store->releaseKeys();
    std::unique_ptr<TestPhone> phone;
    ASSERT_NO_THROW(phone = connecting.get());
    EXPECT_EQ(phone->authenticate(device.id, device.key).deviceName, "Anna");
    EXPECT_EQ(failuresRecorded(harness), 0u);
    EXPECT_FALSE(anyHandshakeFailed(harness));
}

// Keys that take longer than the wait: TLS runs with the keys known so far, and a listed phone's identity unknown
// there is refused without counting against the phone, which gets in once the keys are there. A stranger's identity
// counts meanwhile, as it does afterwards.
TEST(ServerDeviceStore, AnIdentityUnknownBeforeTheKeysAreLoadedIsRefusedWithoutCounting) {
    ServerHarness::Options options;
    options.keyLoadWait = 50ms;
    ServerHarness harness(options);
    harness.store->keysPending = true;
    harness.start();
    auto device = harness.addPairedDevice("Anna");
    for (int attempt = 0; attempt < 3; ++attempt) EXPECT_THROW(harness.connect(device.sessionKey()), ConnectionError);
    EXPECT_EQ(failuresRecorded(harness), 0u);
    EXPECT_FALSE(anyHandshakeFailed(harness));
    // From an address of its own: the phone's is not locked out by it.
    EXPECT_THROW(TestPhone::connect(harness.phones, harness.port, test::sessionKey(Uuid::random(), device.key),
                                    OrvikTLS::cipherSuites, "127.0.0.2"),
                 ConnectionError);
    EXPECT_TRUE(harness.waitForEvent<ServerEvent::HandshakeFailed>());

    harness.store->releaseKeys();
    harness.waitForListenerReady();
    EXPECT_TRUE(harness.authenticatedPhone(device));
    EXPECT_THROW(harness.connect(test::sessionKey(Uuid::random(), device.key)), ConnectionError);
    EXPECT_EQ(failuresRecorded(harness), 2u);
}

TEST(ServerDeviceStore, StoppingTheServerSavesWhatTheStoreKeptForLater) {
    ServerHarness harness;
    harness.start();
    EXPECT_EQ(harness.store->flushes, 0);
    harness.onServer([](HelperServer& server) { server.stop(); });
    EXPECT_EQ(harness.store->flushes, 1);
}

} // namespace
} // namespace orvik::test
