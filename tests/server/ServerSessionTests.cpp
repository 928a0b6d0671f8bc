#include "ServerHarness.hpp"

#include "StrangerCrowd.hpp"
#include "WaitUntil.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

namespace orvik::test {
namespace {

using helper::RecordedInput;

class ServerSessions : public ServerWithDevice {
protected:
    std::size_t pending() {
        return static_cast<std::size_t>(harness.onServer([](HelperServer& s) { return s.pendingHandshakeCount(); }));
    }
};

// The stage table: before authentication a session accepts ping, the message its stage expects and, after
// hello, one update check; anything else is refused and closes it.
TEST_F(ServerSessions, EachStageAcceptsOnlyItsOwnMessages) {
    const std::vector<std::pair<bool, OrvikMessage>> outOfTurn{
        {false, Authenticate{device.id, Bytes(32, 1)}},
        {false, RequestUpdateCheck{}},
        {true, Hello{1, 1, "1.0", Capabilities{}}},
        {true, PointerMove{1, 1, 0}},
    };
    for (const auto& [afterHello, message] : outOfTurn) {
        auto phone = harness.connect(device.sessionKey());
        if (afterHello) phone->hello();
        phone->send(message);
        EXPECT_EQ(errorOf(phone->next()), (ErrorMessage{ErrorCode::unauthorized})) << name(message.type());
        EXPECT_TRUE(phone->waitForEnd());
    }
    EXPECT_TRUE(harness.sink->events().empty());

    auto checks = std::make_shared<std::atomic<int>>(0);
    harness.onServer([checks](HelperServer& s) {
        s.setServices(helper::HelperServices({},
                                             [checks](std::function<void()> done) {
                                                 ++*checks;
                                                 done();
                                             },
                                             {}));
    });
    auto phone = harness.connect(device.sessionKey());
    phone->send(Ping{12345});
    EXPECT_EQ(phone->expect<Pong>().value, 12345u);
    phone->hello();
    phone->send(RequestUpdateCheck{});
    phone->send(Ping{1});
    EXPECT_EQ(phone->expect<Pong>().value, 1u); // no reply to the check itself
    EXPECT_EQ(checks->load(), 1);
    phone->send(RequestUpdateCheck{});
    EXPECT_EQ(errorOf(phone->next()), (ErrorMessage{ErrorCode::rateLimited}));
    EXPECT_TRUE(phone->waitForEnd());
    EXPECT_EQ(checks->load(), 1);
}

TEST_F(ServerSessions, UndecodableFramesOfKnownTypesAreAnsweredOnlyWhenAuthenticated) {
    const Frame badHello{static_cast<std::uint16_t>(MessageType::hello), 0, Bytes{'{', 'x'}};
    const Frame unknownType{61440, 0, Bytes{}};
    auto pendingPhone = harness.connect(device.sessionKey());
    pendingPhone->sendFrame(badHello);
    pendingPhone->sendFrame(unknownType);
    EXPECT_TRUE(pendingPhone->staysQuiet());

    auto phone = harness.authenticatedPhone(device);
    phone->sendFrame(unknownType);
    phone->sendFrame(badHello);
    EXPECT_EQ(errorOf(phone->nextIgnoringStatus()), (ErrorMessage{ErrorCode::unsupported, "type 513"}));
    phone->send(Ping{2});
    EXPECT_EQ(phone->expect<Pong>().value, 2u); // the session goes on
}

TEST_F(ServerSessions, TheEndOfAControlSessionReleasesHeldInputAndRepublishesConnections) {
    auto phone = harness.authenticatedPhone(device);
    ASSERT_TRUE(harness.waitForEvent<ServerEvent::Connections>());
    phone->send(ButtonEvent{MouseButton::left, ButtonAction::down});
    harness.waitForInput(1);
    phone->close();
    auto connections = harness.waitForEvent<ServerEvent::Connections>();
    ASSERT_TRUE(connections);
    EXPECT_TRUE(connections->devices.empty());
    auto recorded = harness.sink->events();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(std::get<RecordedInput::Mouse>(recorded[1].value).kind, helper::MouseEventKind::up);

    // A pending session ends without either, and the last session's end stops the maintenance loop.
    auto pendingPhone = harness.connect(device.sessionKey());
    pendingPhone->hello();
    pendingPhone->close();
    EXPECT_TRUE(harness.waitUntil([](HelperServer& s) { return s.sessionCount() == 0; }));
    EXPECT_FALSE(harness.waitForEvent<ServerEvent::Connections>(200ms));
    EXPECT_FALSE(harness.onServer([](HelperServer& s) { return s.isMaintenanceRunning(); }));
}

TEST_F(ServerSessions, AtMostEightAuthenticatedSessionsAreAdmitted) {
    std::vector<std::unique_ptr<TestPhone>> phones;
    for (int index = 0; index < 8; ++index) {
        auto other = harness.addPairedDevice("Phone " + std::to_string(index));
        phones.push_back(harness.authenticatedPhone(other));
    }
    EXPECT_THROW(harness.connect(device.sessionKey()), ConnectionError);
    EXPECT_EQ(pending(), 0u);
    EXPECT_TRUE(harness.onServer([](HelperServer& s) { return s.recentHandshakeFailures(); }).empty());
}

// Connections still inside TLS have their own places: a few per address, and when all are taken a newcomer closes
// one of the address holding the most of them, even when those are the youngest.
TEST_F(ServerSessions, ConnectionsInsideTLSHaveLimitedPlacesAndTheAddressWithTheMostMakesRoom) {
    constexpr std::size_t perAddress = HelperServer::maxInsideTLSPerAddress;
    constexpr std::size_t pool = HelperServer::maxInsideTLS;
    std::vector<std::unique_ptr<RawClient>> others;
    for (std::size_t index = 0; index < pool - perAddress; ++index) {
        others.push_back(std::make_unique<RawClient>(StrangerCrowd::address(static_cast<int>(index)), harness.port));
    }
    ASSERT_TRUE(harness.waitUntil([](HelperServer& s) { return s.pendingHandshakeCount() == pool - perAddress; }));

    harness.clock.advance(1);
    std::vector<std::unique_ptr<RawClient>> many;
    for (std::size_t index = 0; index < perAddress; ++index) {
        many.push_back(std::make_unique<RawClient>("127.0.0.2", harness.port));
    }
    ASSERT_TRUE(harness.waitUntil([](HelperServer& s) { return s.pendingHandshakeCount() == pool; }));
    RawClient beyondItsAddress("127.0.0.2", harness.port);
    EXPECT_TRUE(beyondItsAddress.waitForClose());
    EXPECT_EQ(pending(), pool);

    RawClient newcomer("127.0.0.3", harness.port);
    EXPECT_TRUE(test::waitUntil([&] {
        return std::any_of(many.begin(), many.end(), [](const auto& client) { return client->waitForClose(1ms); });
    }));
    EXPECT_TRUE(harness.waitUntil([](HelperServer& s) { return s.pendingHandshakeCount() == pool; }));
    EXPECT_EQ(std::count_if(many.begin(), many.end(), [](const auto& client) { return client->waitForClose(0ms); }), 1);
    EXPECT_TRUE(
        std::none_of(others.begin(), others.end(), [](const auto& client) { return client->waitForClose(0ms); }));
    EXPECT_FALSE(newcomer.waitForClose(0ms));
}

TEST_F(ServerSessions, ABlockedAddressIsTurnedAwayBeforeTLSWithoutANewFailure) {
    helper::HandshakeRateLimiter limiter;
    limiter.recordFailure("127.0.0.6", harness.clock.now());
    harness.onServer([&](HelperServer& s) { s.configureRateLimiter(limiter); });

    RawClient blocked("127.0.0.6", harness.port);
    EXPECT_TRUE(blocked.waitForClose());
    EXPECT_EQ(harness.onServer([](HelperServer& s) { return s.recentHandshakeFailures(); }).size(), 1u);

    harness.clock.advance(0.5);
    RawClient later("127.0.0.6", harness.port);
    EXPECT_TRUE(harness.waitUntil([](HelperServer& s) { return s.pendingHandshakeCount() == 1; }));
}

TEST(ServerAddresses, PeersArePrintedWithoutPortAndIPv4MappedAsIPv4) {
    using asio::ip::make_address;
    using asio::ip::tcp;
    EXPECT_EQ(HelperServer::address(tcp::endpoint(make_address("192.168.1.5"), 50000)), "192.168.1.5");
    EXPECT_EQ(HelperServer::address(tcp::endpoint(make_address("::ffff:192.168.1.5"), 50000)), "192.168.1.5");
    EXPECT_EQ(HelperServer::address(tcp::endpoint(make_address("fe80::1"), 1)), "fe80::1");
    EXPECT_EQ(HelperServer::address(std::nullopt), "unknown");
}

} // namespace
} // namespace orvik::test
