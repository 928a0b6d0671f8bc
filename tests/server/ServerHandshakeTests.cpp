#include "ServerHarness.hpp"

#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "screen/ScreenServices.hpp"

#include <gtest/gtest.h>

namespace orvik::test {
namespace {

const Capabilities inputCapabilities = Capabilities::pointer | Capabilities::pointerAbsolute | Capabilities::keyboard |
                                       Capabilities::textPaste | Capabilities::scrollPhases;

class ServerHandshake : public ServerWithDevice {
protected:
    // Says hello and authenticates as `deviceID` with a proof made from `key` over `challenge` (the session's
    // own when absent).
    std::optional<OrvikMessage> authenticate(TestPhone& phone, const Uuid& deviceID, const Bytes& key,
                                             std::optional<Bytes> challenge = std::nullopt) {
        auto ack = phone.hello();
        auto proofKey = OrvikKeys::authenticationKey(key, deviceID);
        phone.send(Authenticate{deviceID, OrvikKeys::proof(proofKey, challenge.value_or(ack.challenge))});
        return phone.next();
    }
};

TEST_F(ServerHandshake, HelloGetsThisComputersIdentityAndAFreshChallengeAndAProofGetsAuthenticatedThenTheStatus) {
    auto first = harness.connect(device.sessionKey());
    auto ack = first->hello();
    EXPECT_EQ(ack, (HelloAck{1, 1, "1.0", harness.identity.helperID, "Test Computer", "TestModel1,1", inputCapabilities,
                             std::nullopt, ack.challenge}));
    EXPECT_EQ(ack.challenge.size(), 32u);
    auto second = harness.connect(device.sessionKey());
    EXPECT_NE(second->hello().challenge, ack.challenge);

    auto key = OrvikKeys::authenticationKey(device.key, device.id);
    first->send(Authenticate{device.id, OrvikKeys::proof(key, ack.challenge)});
    EXPECT_EQ(first->expect<Authenticated>().deviceName, "Anna");
    auto status = first->next();
    ASSERT_TRUE(status && status->get<HelperStatus>()) << "the status follows at once";
    EXPECT_EQ(status->get<HelperStatus>()->displayCount, 1);
    EXPECT_FALSE(status->get<HelperStatus>()->isPaused);
}

TEST_F(ServerHandshake, VersionNegotiationRefusesOnlyPhonesOlderThanVersionOne) {
    for (auto [version, minimum] : {std::pair(5, 1), std::pair(2, 2)}) {
        auto phone = harness.connect(device.sessionKey());
        auto ack = phone->hello(static_cast<std::uint16_t>(version), static_cast<std::uint16_t>(minimum));
        EXPECT_EQ(std::pair(ack.protocolVersion, ack.minimumSupported),
                  (std::pair<std::uint16_t, std::uint16_t>(1, 1)));
    }
    auto older = harness.connect(device.sessionKey());
    older->send(Hello{0, 0, "0.1", Capabilities{}});
    EXPECT_EQ(errorOf(older->next()), (ErrorMessage{ErrorCode::appTooOld}));
    EXPECT_TRUE(older->waitForEnd());
    EXPECT_EQ(failuresRecorded(), 0u);
}

// Every failed proof closes the connection after its error and counts against the address.
TEST_F(ServerHandshake, AFailedProofIsRefusedAndCounted) {
    auto other = harness.connect(device.sessionKey());
    auto otherChallenge = other->hello().challenge;
    other->close();
    auto phone = harness.connect(device.sessionKey());
    EXPECT_EQ(errorOf(authenticate(*phone, device.id, device.key, otherChallenge)),
              (ErrorMessage{ErrorCode::unauthorized}));
    EXPECT_TRUE(phone->waitForEnd());
    auto failed = harness.waitForEvent<ServerEvent::HandshakeFailed>();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->address, "127.0.0.1");

    // A device removed between TLS and its proof is told so.
    harness.clock.advance(1);
    auto late = harness.connect(device.sessionKey());
    harness.store->remove(device.id);
    EXPECT_EQ(errorOf(authenticate(*late, device.id, device.key)), (ErrorMessage{ErrorCode::deviceRemoved}));
    EXPECT_EQ(failuresRecorded(), 2u);
}

TEST_F(ServerHandshake, AnUnreadableKeyringIsNotMistakenForARemovedDevice) {
    auto phone = harness.connect(device.sessionKey());
    harness.store->keysUnavailable = true;
    EXPECT_EQ(errorOf(authenticate(*phone, device.id, device.key)), (ErrorMessage{ErrorCode::internalError}));
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
    EXPECT_EQ(harness.store->devices().at(0).lastSeen, harness.date.now());
    auto connections = harness.waitForEvent<ServerEvent::Connections>();
    ASSERT_TRUE(connections);
    EXPECT_EQ(connections->devices, (std::vector{helper::ConnectedDevice{connections->devices.at(0).sessionID,
                                                                         device.id, "Anna", "127.0.0.1"}}));

    auto wrong = harness.connect(device.sessionKey());
    EXPECT_EQ(errorOf(authenticate(*wrong, device.id, Bytes(32, 0)))->code, ErrorCode::unauthorized);
    harness.clock.advance(1);
    // One failure since the success: its lockout is over and the window holds only it.
    RawClient raw("127.0.0.1", harness.port);
    EXPECT_TRUE(harness.waitUntil([](HelperServer& s) { return s.pendingHandshakeCount() == 1; }));
}

TEST_F(ServerHandshake, CapabilitiesFollowTheCurrentServices) {
    const std::vector<std::pair<std::vector<ScreenCodec>, Capabilities>> cases{
        {{ScreenCodec::h264}, inputCapabilities | Capabilities::screenStream},
        {{ScreenCodec::hevc, ScreenCodec::h264},
         inputCapabilities | Capabilities::screenStream | Capabilities::screenHEVC},
    };
    for (const auto& [codecs, expected] : cases) {
        auto screen = std::make_shared<helper::ScreenServices>();
        screen->codecs = codecs;
        harness.onServer([&](HelperServer& s) {
            helper::HelperServices services;
            services.screen = screen;
            s.setServices(services);
        });
        auto phone = harness.connect(device.sessionKey());
        EXPECT_EQ(phone->hello().capabilities, expected);
    }
}

} // namespace
} // namespace orvik::test
