#include "ServerHarness.hpp"

#include "WaitUntil.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "orvik/protocol/pairing/ManualPairingCode.hpp"
#include "orvik/protocol/pairing/PairingPayload.hpp"

#include <gtest/gtest.h>

#include <mutex>

namespace orvik::test {
namespace {

// The local user's side of the approval question, answered by the test.
struct ApprovalDesk {
    std::mutex mutex;
    std::vector<helper::PairingApprovalRequest> asked;
    std::vector<std::function<void(bool)>> pending;
    std::optional<bool> answerAtOnce;

    helper::HelperServices::ApprovePairing callback() {
        return [this](helper::PairingApprovalRequest request, std::function<void(bool)> done) {
            std::lock_guard lock(mutex);
            asked.push_back(request);
            if (answerAtOnce) {
                done(*answerAtOnce);
            } else {
                pending.push_back(std::move(done));
            }
        };
    }
    std::size_t askedCount() {
        std::lock_guard lock(mutex);
        return asked.size();
    }
};

// What a phone learns from the pairing window: the whole secret (QR code) or the typed code.
struct Window {
    helper::PairingInfo info;
    PairingPayload payload;
    ManualPairingCode code;

    PreSharedKey qrKey() const {
        return {OrvikKeys::qrPairingPSK(payload.secret, payload.helperID),
                OrvikKeys::qrPairingIdentity(payload.helperID)};
    }
    PreSharedKey manualKey() const {
        return {OrvikKeys::manualPairingPSK(code.bytes), std::string(OrvikKeys::manualPairingIdentity)};
    }
    Bytes proofSecret(PairingMethod method) const {
        return method == PairingMethod::qrCode ? payload.secret : Bytes(code.bytes.begin(), code.bytes.end());
    }
};

class ServerPairing : public ::testing::Test {
protected:
    void SetUp() override { start(); }

    void start(ServerHarness::Options options = {}) {
        options.services.approvePairing = desk.callback();
        harness = std::make_unique<ServerHarness>(std::move(options));
        harness->start();
    }
    static bool closesWindow(const ServerEvent& event) {
        auto* pairing = event.get<ServerEvent::Pairing>();
        return pairing && !pairing->info;
    }
    bool windowClosed(std::chrono::milliseconds wait = TestPhone::defaultWait) {
        return harness->waitForEvent(closesWindow, wait).has_value();
    }

    Window openWindow() {
        auto info = harness->onServer([](HelperServer& s) { return s.startPairing(); });
        if (!info) throw std::runtime_error("no pairing window");
        // The new keys are offered once the listener has been bound again.
        harness->waitForListenerReady();
        return Window{*info, *PairingPayload::parse(info->url), *ManualPairingCode::parse(info->manualCode)};
    }

    std::unique_ptr<TestPhone> connect(const Window& window, PairingMethod method) {
        return harness->connect(method == PairingMethod::qrCode ? window.qrKey() : window.manualKey());
    }

    // Says hello and sends a pairing request proving the secret of `method`.
    void requestPairing(TestPhone& phone, const Window& window, PairingMethod method, const Uuid& deviceID,
                        std::string name = "Anna's phone") {
        auto ack = phone.hello();
        auto proofKey = OrvikKeys::pairingProofKey(window.proofSecret(method));
        phone.send(PairRequest{deviceID, std::move(name), "Phone15,2", "1.0", method,
                               OrvikKeys::proof(proofKey, ack.challenge)});
    }

    std::size_t failuresRecorded() {
        return harness->onServer([](HelperServer& s) { return s.recentHandshakeFailures(); }).size();
    }

    ApprovalDesk desk;
    std::unique_ptr<ServerHarness> harness;
};

TEST_F(ServerPairing, AScannedCodePairsWithoutAskingAndTheNewKeyAuthenticates) {
    auto window = openWindow();
    EXPECT_EQ(window.info.manualCode.size(), 29u);
    ASSERT_EQ(window.info.addresses.size(), 1u);
    EXPECT_EQ(window.info.addresses[0], (HostPort{"testhost.local", harness->port}));
    EXPECT_EQ(window.payload.addresses, window.info.addresses);

    auto phone = connect(window, PairingMethod::qrCode);
    const auto deviceID = Uuid::random();
    requestPairing(*phone, window, PairingMethod::qrCode, deviceID, "  Anna's phone\n");
    auto accepted = phone->expect<PairAccepted>();
    EXPECT_EQ(accepted.deviceKey.size(), 32u);
    EXPECT_EQ(accepted.helperID, harness->identity.helperID);
    EXPECT_EQ(accepted.macName, "Test Computer");
    EXPECT_TRUE(phone->waitForEnd());
    EXPECT_EQ(desk.askedCount(), 0u);

    EXPECT_TRUE(windowClosed());
    auto paired = harness->waitForEvent<ServerEvent::Paired>();
    ASSERT_TRUE(paired);
    EXPECT_EQ(paired->device.id, deviceID);
    EXPECT_EQ(paired->device.name, "Anna's phone");
    auto devices = harness->waitForEvent<ServerEvent::Devices>();
    ASSERT_TRUE(devices);
    EXPECT_EQ(devices->devices.size(), 1u);

    // The phone comes back with the key it was given; the window's key no longer opens TLS.
    harness->waitForListenerReady();
    auto again = harness->connect(sessionKey(deviceID, accepted.deviceKey));
    EXPECT_EQ(again->authenticate(deviceID, accepted.deviceKey).deviceName, "Anna's phone");
    again->expect<HelperStatus>();
    EXPECT_THROW(connect(window, PairingMethod::qrCode), ConnectionError);
}

TEST_F(ServerPairing, ATypedCodeIsAlwaysPutToTheLocalUser) {
    desk.answerAtOnce = true;
    auto window = openWindow();
    auto phone = connect(window, PairingMethod::manualCode);
    requestPairing(*phone, window, PairingMethod::manualCode, Uuid::random(), "Bob\x01's\u200B phone");
    auto accepted = phone->expect<PairAccepted>();
    EXPECT_EQ(accepted.deviceKey.size(), 32u);
    ASSERT_EQ(desk.askedCount(), 1u);
    EXPECT_EQ(desk.asked[0].deviceName, "Bob's phone");
    EXPECT_EQ(desk.asked[0].deviceModel, "Phone15,2");
}

TEST_F(ServerPairing, ADeniedPairingUsesTheWindowUp) {
    desk.answerAtOnce = false;
    auto window = openWindow();
    auto second = connect(window, PairingMethod::qrCode); // connected while the window was open
    second->hello();
    auto phone = connect(window, PairingMethod::manualCode);
    requestPairing(*phone, window, PairingMethod::manualCode, Uuid::random());
    auto denied = errorOf(phone->next());
    ASSERT_TRUE(denied);
    EXPECT_EQ(denied->code, ErrorCode::pairingDenied);
    EXPECT_EQ(denied->detail, std::nullopt);
    EXPECT_TRUE(harness->store->devices().empty());

    auto proofKey = OrvikKeys::pairingProofKey(window.proofSecret(PairingMethod::qrCode));
    second->send(PairRequest{Uuid::random(), "Late", "Phone", "1.0", PairingMethod::qrCode,
                             OrvikKeys::proof(proofKey, Bytes(32, 0))});
    EXPECT_EQ(errorOf(second->next())->code, ErrorCode::pairingUnavailable);
}

TEST_F(ServerPairing, WithoutAutoAllowAScanIsAskedAndTheDefaultAnswerIsNo) {
    ServerHarness::Options options;
    options.preferences.autoAllowOnScan = false;
    harness = std::make_unique<ServerHarness>(std::move(options)); // default services: every answer is no
    harness->start();
    auto window = openWindow();
    auto phone = connect(window, PairingMethod::qrCode);
    requestPairing(*phone, window, PairingMethod::qrCode, Uuid::random());
    EXPECT_EQ(errorOf(phone->next())->code, ErrorCode::pairingDenied);
}

TEST_F(ServerPairing, AWrongProofIsCountedAndLeavesTheWindowOpen) {
    auto window = openWindow();
    auto phone = connect(window, PairingMethod::qrCode);
    // A scan claimed, but the proof made with the typed code's bytes.
    auto ack = phone->hello();
    auto codeKey = OrvikKeys::pairingProofKey(window.proofSecret(PairingMethod::manualCode));
    phone->send(PairRequest{Uuid::random(), "Mallory", "Phone", "1.0", PairingMethod::qrCode,
                            OrvikKeys::proof(codeKey, ack.challenge)});
    auto reply = errorOf(phone->next());
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, ErrorCode::unauthorized);
    EXPECT_TRUE(harness->waitForEvent<ServerEvent::HandshakeFailed>());
    EXPECT_EQ(failuresRecorded(), 1u);

    harness->clock.advance(1); // past the address's lockout; the window is still open
    auto next = connect(window, PairingMethod::qrCode);
    requestPairing(*next, window, PairingMethod::qrCode, Uuid::random());
    EXPECT_NO_THROW(next->expect<PairAccepted>());
}

TEST_F(ServerPairing, ADeviceIdentifierAlreadyPairedIsRefusedAndTheWindowStaysOpen) {
    auto existing = harness->addPairedDevice("Existing");
    auto window = openWindow();
    auto phone = connect(window, PairingMethod::qrCode);
    requestPairing(*phone, window, PairingMethod::qrCode, existing.id);
    auto reply = errorOf(phone->next());
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, ErrorCode::pairingDenied);
    EXPECT_EQ(reply->detail, "device ID in use");
    EXPECT_EQ(failuresRecorded(), 0u);

    auto other = connect(window, PairingMethod::qrCode);
    requestPairing(*other, window, PairingMethod::qrCode, Uuid::random());
    EXPECT_NO_THROW(other->expect<PairAccepted>());
}

TEST_F(ServerPairing, TheApprovalQuestionTimesOutAfterSixtySeconds) {
    auto window = openWindow();
    auto phone = connect(window, PairingMethod::manualCode);
    requestPairing(*phone, window, PairingMethod::manualCode, Uuid::random());
    ASSERT_TRUE(harness->waitUntil([&](HelperServer&) { return desk.askedCount() == 1; }));

    // Past the handshake limit but not the approval limit.
    harness->clock.advance(59);
    harness->maintenancePass();
    EXPECT_TRUE(phone->staysQuiet());
    harness->clock.advance(2);
    harness->maintenancePass();
    auto reply = errorOf(phone->next());
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, ErrorCode::pairingDenied);
    EXPECT_EQ(reply->detail, "approval timeout");
    EXPECT_TRUE(phone->waitForEnd());

    // The user's late "yes" changes nothing.
    std::function<void(bool)> answer;
    {
        std::lock_guard lock(desk.mutex);
        answer = desk.pending.at(0);
    }
    answer(true);
    EXPECT_TRUE(harness->waitUntil([](HelperServer&) { return true; }));
    EXPECT_TRUE(harness->store->devices().empty());
    EXPECT_FALSE(harness->waitForEvent<ServerEvent::Paired>(200ms));
}

TEST_F(ServerPairing, AnExpiredWindowRefusesRequests) {
    auto window = openWindow();
    auto phone = connect(window, PairingMethod::qrCode);
    harness->date.advance(std::chrono::seconds(300));
    requestPairing(*phone, window, PairingMethod::qrCode, Uuid::random());
    EXPECT_EQ(errorOf(phone->next())->code, ErrorCode::pairingUnavailable);
}

TEST_F(ServerPairing, AWindowClosesByItselfAndItsKeysNoLongerOpenTLS) {
    ServerHarness::Options options;
    options.pairingLifetime = 0.5;
    start(std::move(options));
    auto window = openWindow();
    ASSERT_TRUE(waitUntil([&] {
        auto events = harness->events();
        return std::any_of(events.begin(), events.end(), closesWindow);
    }));
    EXPECT_THROW(connect(window, PairingMethod::qrCode), ConnectionError);
    auto failed = harness->waitForEvent<ServerEvent::HandshakeFailed>();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->address, "127.0.0.1");
}

TEST_F(ServerPairing, ANewWindowReplacesTheOpenOne) {
    auto first = openWindow();
    auto second = openWindow();
    EXPECT_NE(first.payload.secret, second.payload.secret);
    EXPECT_NE(first.info.sessionID, second.info.sessionID);
    EXPECT_NE(first.info.manualCode, second.info.manualCode);

    // The first window's expiry does not close the second.
    harness->onServer([&](HelperServer& s) { s.expirePairing(first.info.sessionID); });
    EXPECT_FALSE(windowClosed(200ms));
    EXPECT_THROW(connect(first, PairingMethod::qrCode), ConnectionError);
    ASSERT_TRUE(harness->waitForEvent<ServerEvent::HandshakeFailed>()) << "counted before the clock moves on";
    harness->clock.advance(1);
    EXPECT_NO_THROW(connect(second, PairingMethod::manualCode));
}

TEST_F(ServerPairing, AFailedStoreReportsAnInternalErrorAndUsesTheWindowUp) {
    harness->store->failWrites = true;
    auto window = openWindow();
    auto phone = connect(window, PairingMethod::qrCode);
    requestPairing(*phone, window, PairingMethod::qrCode, Uuid::random());
    EXPECT_EQ(errorOf(phone->next())->code, ErrorCode::internalError);
    EXPECT_TRUE(windowClosed());
}

// A proof counts only under the TLS identity it belongs to: a device's own key for authenticate, a pairing
// key for pairRequest. Anything else is refused as out of turn and counted.
TEST_F(ServerPairing, AProofUnderAnotherIdentityIsRefusedAndCounted) {
    auto anna = harness->addPairedDevice("Anna");
    auto window = openWindow();
    for (auto method : {PairingMethod::qrCode, PairingMethod::manualCode}) {
        SCOPED_TRACE(static_cast<int>(method));
        auto phone = connect(window, method);
        auto ack = phone->hello();
        auto key = OrvikKeys::authenticationKey(anna.key, anna.id);
        phone->send(Authenticate{anna.id, OrvikKeys::proof(key, ack.challenge)});
        EXPECT_EQ(errorOf(phone->next()), (ErrorMessage{ErrorCode::unauthorized}));
        EXPECT_TRUE(phone->waitForEnd());
        EXPECT_TRUE(harness->waitForEvent<ServerEvent::HandshakeFailed>());
        harness->clock.advance(100); // past the lockout
    }
    auto asAnna = harness->connect(anna.sessionKey());
    requestPairing(*asAnna, window, PairingMethod::qrCode, Uuid::random());
    EXPECT_EQ(errorOf(asAnna->next()), (ErrorMessage{ErrorCode::unauthorized}));
    EXPECT_EQ(failuresRecorded(), 3u);
    EXPECT_TRUE(harness->onServer([](HelperServer& s) { return s.connectedDevices(); }).empty());
    EXPECT_EQ(harness->store->devices().size(), 1u) << "nothing paired, the window still open";
    EXPECT_FALSE(windowClosed(200ms));
}

TEST_F(ServerPairing, CancellingWithoutAWindowPublishesNothing) {
    harness->onServer([](HelperServer& s) { s.cancelPairing(); });
    EXPECT_FALSE(harness->waitForEvent<ServerEvent::Pairing>(100ms));
}

} // namespace
} // namespace orvik::test
