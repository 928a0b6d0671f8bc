// What the server asks of its device store beyond the list and the keys: keys that arrive after the start, and a
// save of what the store kept for later when the server stops.
#include "ServerHarness.hpp"

#include <gtest/gtest.h>

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

TEST(ServerDeviceStore, StoppingTheServerSavesWhatTheStoreKeptForLater) {
    ServerHarness harness;
    harness.start();
    EXPECT_EQ(harness.store->flushes, 0);
    harness.onServer([](HelperServer& server) { server.stop(); });
    EXPECT_EQ(harness.store->flushes, 1);
}

} // namespace
} // namespace orvik::test
