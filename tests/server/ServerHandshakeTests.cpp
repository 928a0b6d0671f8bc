#include "ServerHarness.hpp"

#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "server/ScreenServices.hpp"

#include <gtest/gtest.h>

namespace orvik::test {
namespace {

const Capabilities inputCapabilities = Capabilities::pointer | Capabilities::pointerAbsolute | Capabilities::keyboard |
                                       Capabilities::textPaste | Capabilities::scrollPhases;

class ServerHandshake : public ServerWithDevice {};

TEST_F(ServerHandshake, HelloIsAnsweredWithThisComputersIdentityAndAFreshChallenge) {
    auto first = harness.connect(device.sessionKey());
    auto ack = first->hello();
    EXPECT_EQ(ack.protocolVersion, 1);
    EXPECT_EQ(ack.minimumSupported, 1);
    EXPECT_EQ(ack.helperID, harness.identity.helperID);
    EXPECT_EQ(ack.macName, "Test Computer");
    EXPECT_EQ(ack.model, "TestModel1,1");
    EXPECT_EQ(ack.helperVersion, "1.0");
    EXPECT_EQ(ack.macAddress, std::nullopt);
    EXPECT_EQ(ack.capabilities, inputCapabilities);
    EXPECT_EQ(ack.challenge.size(), 32u);

    auto second = harness.connect(device.sessionKey());
    EXPECT_NE(second->hello().challenge, ack.challenge);
}

TEST_F(ServerHandshake, VersionNegotiationRefusesOnlyPhonesOlderThanVersionOne) {
    auto newer = harness.connect(device.sessionKey());
    EXPECT_EQ(newer->hello(5, 1).protocolVersion, 1);
    auto tooNewForUs = harness.connect(device.sessionKey());
    EXPECT_EQ(tooNewForUs->hello(2, 2).minimumSupported, 1);
    // Two pending sessions per address at most.
    newer->close();
    tooNewForUs->close();
    ASSERT_TRUE(harness.waitUntil([](HelperServer& s) { return s.pendingHandshakeCount() == 0; }));

    auto older = harness.connect(device.sessionKey());
    older->send(Hello{0, 0, "0.1", Capabilities{}});
    EXPECT_EQ(errorOf(older->next())->code, ErrorCode::appTooOld);
    EXPECT_TRUE(older->waitForEnd());
    EXPECT_EQ(failuresRecorded(), 0u);
}

TEST_F(ServerHandshake, AProofOverAnotherSessionsChallengeIsRefusedAndCounted) {
    auto other = harness.connect(device.sessionKey());
    auto otherAck = other->hello();
    auto phone = harness.connect(device.sessionKey());
    phone->hello();
    auto key = OrvikKeys::authenticationKey(device.key, device.id);
    phone->send(Authenticate{device.id, OrvikKeys::proof(key, otherAck.challenge)});
    EXPECT_EQ(errorOf(phone->next())->code, ErrorCode::unauthorized);
    EXPECT_TRUE(phone->waitForEnd());
    auto failed = harness.waitForEvent<ServerEvent::HandshakeFailed>();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->address, "127.0.0.1");
    EXPECT_EQ(failuresRecorded(), 1u);
}

TEST_F(ServerHandshake, AnUnknownDeviceIsToldItWasRemoved) {
    auto phone = harness.connect(device.sessionKey());
    auto ack = phone->hello();
    const auto stranger = Uuid::random();
    auto key = OrvikKeys::authenticationKey(device.key, stranger);
    phone->send(Authenticate{stranger, OrvikKeys::proof(key, ack.challenge)});
    EXPECT_EQ(errorOf(phone->next())->code, ErrorCode::deviceRemoved);
    EXPECT_TRUE(harness.waitForEvent<ServerEvent::HandshakeFailed>());
}

TEST_F(ServerHandshake, AnUnreadableKeyringIsNotMistakenForARemovedDevice) {
    auto phone = harness.connect(device.sessionKey());
    auto ack = phone->hello();
    harness.store->keysUnavailable = true;
    auto key = OrvikKeys::authenticationKey(device.key, device.id);
    phone->send(Authenticate{device.id, OrvikKeys::proof(key, ack.challenge)});
    auto reply = errorOf(phone->next());
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, ErrorCode::internalError);
    EXPECT_TRUE(phone->waitForEnd());
    EXPECT_EQ(failuresRecorded(), 0u);

    harness.store->keysUnavailable = false;
    auto again = harness.connect(device.sessionKey());
    EXPECT_EQ(again->authenticate(device.id, device.key).deviceName, "Anna");
}

TEST_F(ServerHandshake, SuccessForgetsTheAddressesFailuresAndIsPublished) {
    // Two failures inside the window would block the address.
    helper::HandshakeRateLimiter limiter(2, 60, 0.5, 60);
    limiter.recordFailure("127.0.0.1", harness.clock.now());
    harness.onServer([&](HelperServer& s) { s.configureRateLimiter(limiter); });
    harness.clock.advance(1);

    auto phone = harness.authenticatedPhone(device);
    auto stored = harness.store->devices();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].lastSeen, harness.date.now());
    auto connections = harness.waitForEvent<ServerEvent::Connections>();
    ASSERT_TRUE(connections);
    ASSERT_EQ(connections->devices.size(), 1u);
    EXPECT_EQ(connections->devices[0].name, "Anna");
    EXPECT_EQ(connections->devices[0].deviceID, device.id);
    EXPECT_EQ(connections->devices[0].address, "127.0.0.1");

    auto wrong = harness.connect(device.sessionKey());
    wrong->hello();
    wrong->send(Authenticate{device.id, Bytes(32, 0)});
    EXPECT_EQ(errorOf(wrong->next())->code, ErrorCode::unauthorized);
    harness.clock.advance(1);
    // One failure since the success: its lockout is over and the window holds only it.
    RawClient raw("127.0.0.1", harness.port);
    EXPECT_TRUE(harness.waitUntil([](HelperServer& s) { return s.pendingHandshakeCount() == 1; }));
}

TEST_F(ServerHandshake, CapabilitiesFollowTheCurrentServices) {
    auto screen = std::make_shared<helper::ScreenServices>();
    screen->codecs = {ScreenCodec::h264};
    harness.onServer([&](HelperServer& s) {
        helper::HelperServices services;
        services.screen = screen;
        s.setServices(services);
    });
    auto h264 = harness.connect(device.sessionKey());
    EXPECT_EQ(h264->hello().capabilities, inputCapabilities | Capabilities::screenStream);

    auto hevc = std::make_shared<helper::ScreenServices>();
    hevc->codecs = {ScreenCodec::hevc, ScreenCodec::h264};
    harness.onServer([&](HelperServer& s) {
        helper::HelperServices services;
        services.screen = hevc;
        s.setServices(services);
    });
    auto both = harness.connect(device.sessionKey());
    EXPECT_EQ(both->hello().capabilities, inputCapabilities | Capabilities::screenStream | Capabilities::screenHEVC);
}

} // namespace
} // namespace orvik::test
