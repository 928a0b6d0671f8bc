#include "ServerHarness.hpp"

#include "WaitUntil.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "orvik/protocol/pairing/ManualPairingCode.hpp"
#include "orvik/protocol/pairing/PairingPayload.hpp"

#include <gtest/gtest.h>

#include <mutex>

namespace orvik::test {
namespace {

// The local user's side of the approval question: answered at once when an answer is set, else kept.
struct ApprovalDesk {
    std::mutex mutex;
    std::vector<helper::PairingApprovalRequest> asked;
    std::vector<std::function<void(bool)>> pending;
    std::optional<bool> answerAtOnce;

    helper::HelperServices::ApprovePairing callback() {
        return [this](helper::PairingApprovalRequest request, std::function<void(bool)> done) {
            std::lock_guard lock(mutex);
            asked.push_back(request);
            if (!answerAtOnce) return pending.push_back(std::move(done));
            done(*answerAtOnce);
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

    PreSharedKey key(PairingMethod method) const {
        if (method == PairingMethod::qrCode) {
            return {OrvikKeys::qrPairingPSK(payload.secret, payload.helperID),
                    OrvikKeys::qrPairingIdentity(payload.helperID)};
        }
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
        harness->waitForListenerReady(); // the window's keys are offered from now on
        return Window{*info, *PairingPayload::parse(info->url), *ManualPairingCode::parse(info->manualCode)};
    }
    std::unique_ptr<TestPhone> connect(const Window& window, PairingMethod method) {
        return harness->connect(window.key(method));
    }
    // Says hello and asks to pair as `method`, proving the secret of `provenWith`.
    void requestPairing(TestPhone& phone, const Window& window, PairingMethod method, const Uuid& deviceID,
                        std::string name = "Anna's phone", std::optional<PairingMethod> provenWith = {}) {
        auto ack = phone.hello();
        auto proofKey = OrvikKeys::pairingProofKey(window.proofSecret(provenWith.value_or(method)));
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
    EXPECT_EQ(window.info.addresses, (std::vector{HostPort{"testhost.local", harness->port}}));
    EXPECT_EQ(window.payload.addresses, window.info.addresses);

    auto phone = connect(window, PairingMethod::qrCode);
    const auto deviceID = Uuid::random();
    requestPairing(*phone, window, PairingMethod::qrCode, deviceID, "  Anna's phone\n");
    auto accepted = phone->expect<PairAccepted>();
    EXPECT_EQ(accepted,
              (PairAccepted{accepted.deviceKey, harness->identity.helperID, "Test Computer", accepted.capabilities}));
    EXPECT_EQ(accepted.deviceKey.size(), 32u);
    EXPECT_TRUE(phone->waitForEnd());
    EXPECT_EQ(desk.askedCount(), 0u);

    // pairing(nil), then paired, then devices.
    EXPECT_TRUE(windowClosed());
    auto paired = harness->waitForEvent<ServerEvent::Paired>();
    ASSERT_TRUE(paired);
    EXPECT_EQ(paired->device.name, "Anna's phone");
    EXPECT_EQ(harness->waitForEvent<ServerEvent::Devices>()->devices, std::vector{paired->device});

    // The phone comes back with the key it was given; the window's key no longer opens TLS.
    harness->waitForListenerReady();
    auto again = harness->connect(sessionKey(deviceID, accepted.deviceKey));
    EXPECT_EQ(again->authenticate(deviceID, accepted.deviceKey).deviceName, "Anna's phone");
    EXPECT_THROW(connect(window, PairingMethod::qrCode), ConnectionError);
}

TEST_F(ServerPairing, ATypedCodeIsAlwaysPutToTheLocalUserWithTheNamesCleaned) {
    desk.answerAtOnce = true;
    auto window = openWindow();
    auto phone = connect(window, PairingMethod::manualCode);
    requestPairing(*phone, window, PairingMethod::manualCode, Uuid::random(), "Bob\x01's\u200B phone");
    EXPECT_NO_THROW(phone->expect<PairAccepted>());
    ASSERT_EQ(desk.askedCount(), 1u);
    EXPECT_EQ(desk.asked[0].deviceName, "Bob's phone");
    EXPECT_EQ(desk.asked[0].deviceModel, "Phone15,2");
}

// A request that fails its checks leaves the window open; one that passed them uses it up, whatever follows.
struct Refusal {
    std::string name;
    std::function<void(ServerHarness&, ApprovalDesk&)> prepare;
    PairingMethod method;
    PairingMethod provenWith;
    bool alreadyPaired;
    ErrorMessage reply;
    bool counted;
    bool usesWindowUp;
};

class ServerPairingRefusal : public ServerPairing, public ::testing::WithParamInterface<Refusal> {};

TEST_P(ServerPairingRefusal, IsAnsweredAndCountedAndLeavesTheWindowAsItShould) {
    const auto& refusal = GetParam();
    auto window = openWindow();
    refusal.prepare(*harness, desk);
    auto deviceID = refusal.alreadyPaired ? harness->addPairedDevice("Existing").id : Uuid::random();
    auto phone = connect(window, refusal.method);
    requestPairing(*phone, window, refusal.method, deviceID, "Mallory", refusal.provenWith);
    EXPECT_EQ(errorOf(phone->next()), refusal.reply);
    EXPECT_TRUE(phone->waitForEnd());
    EXPECT_EQ(failuresRecorded(), refusal.counted ? 1u : 0u);
    EXPECT_EQ(windowClosed(refusal.usesWindowUp ? TestPhone::defaultWait : 200ms), refusal.usesWindowUp);
    EXPECT_EQ(harness->store->devices().size(), refusal.alreadyPaired ? 1u : 0u);
}

const auto nothing = [](ServerHarness&, ApprovalDesk&) {};
using Method = PairingMethod;
INSTANTIATE_TEST_SUITE_P(
    Requests, ServerPairingRefusal,
    ::testing::Values(
        Refusal{"ProofOfTheOtherSecret", nothing, Method::qrCode, Method::manualCode, false,
                ErrorMessage{ErrorCode::unauthorized}, true, false},
        Refusal{"DeviceIdentifierInUse", nothing, Method::qrCode, Method::qrCode, true,
                ErrorMessage{ErrorCode::pairingDenied, "device ID in use"}, false, false},
        Refusal{"ExpiredWindow", [](ServerHarness& h, ApprovalDesk&) { h.date.advance(std::chrono::seconds(300)); },
                Method::qrCode, Method::qrCode, false, ErrorMessage{ErrorCode::pairingUnavailable}, false, false},
        Refusal{"DeniedByTheUser", [](ServerHarness&, ApprovalDesk& d) { d.answerAtOnce = false; }, Method::manualCode,
                Method::manualCode, false, ErrorMessage{ErrorCode::pairingDenied}, false, true},
        Refusal{"StoreFails", [](ServerHarness& h, ApprovalDesk&) { h.store->failWrites = true; }, Method::qrCode,
                Method::qrCode, false, ErrorMessage{ErrorCode::internalError}, false, true},
        // Mend: answered "device ID in use", though no device had it.
        Refusal{"KeysCannotBeRead", [](ServerHarness& h, ApprovalDesk&) { h.store->keysUnavailable = true; },
                Method::qrCode, Method::qrCode, false, ErrorMessage{ErrorCode::internalError}, false, false}),
    [](const auto& testCase) { return testCase.param.name; });

TEST_F(ServerPairing, WithoutAutoAllowAScanIsAskedAndAUsedUpWindowRefusesLaterRequests) {
    ServerHarness::Options options;
    options.preferences.autoAllowOnScan = false;
    start(std::move(options));
    desk.answerAtOnce = false;
    auto window = openWindow();
    auto early = connect(window, PairingMethod::qrCode); // connected while the window was open
    early->hello();
    auto phone = connect(window, PairingMethod::qrCode);
    requestPairing(*phone, window, PairingMethod::qrCode, Uuid::random());
    EXPECT_EQ(errorOf(phone->next())->code, ErrorCode::pairingDenied);
    EXPECT_EQ(desk.askedCount(), 1u);
    early->send(PairRequest{Uuid::random(), "Late", "Phone", "1.0", PairingMethod::qrCode, Bytes(32, 0)});
    EXPECT_EQ(errorOf(early->next())->code, ErrorCode::pairingUnavailable);
}

TEST_F(ServerPairing, TheApprovalQuestionTimesOutAfterSixtySecondsAndALateYesChangesNothing) {
    auto window = openWindow();
    auto phone = connect(window, PairingMethod::manualCode);
    requestPairing(*phone, window, PairingMethod::manualCode, Uuid::random());
    ASSERT_TRUE(waitUntil([&] { return desk.askedCount() == 1; }));
    harness->clock.advance(59); // past the handshake limit but not the approval limit
    harness->maintenancePass();
    EXPECT_TRUE(phone->staysQuiet());
    harness->clock.advance(2);
    harness->maintenancePass();
    EXPECT_EQ(errorOf(phone->next()), (ErrorMessage{ErrorCode::pairingDenied, "approval timeout"}));
    EXPECT_TRUE(phone->waitForEnd());

    std::lock_guard lock(desk.mutex);
    desk.pending.at(0)(true);
    EXPECT_FALSE(harness->waitForEvent<ServerEvent::Paired>(200ms));
    EXPECT_TRUE(harness->store->devices().empty());
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
    harness->waitForListenerReady(); // without the window's keys; before that, a connect is refused uncounted
    EXPECT_THROW(connect(window, PairingMethod::qrCode), ConnectionError);
    const auto failed = harness->waitForEvent<ServerEvent::HandshakeFailed>();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->address, "127.0.0.1");
}

TEST_F(ServerPairing, ANewWindowReplacesTheOpenOneAndCancellingClosesItOnce) {
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

    harness->onServer([](HelperServer& s) { s.cancelPairing(); });
    EXPECT_TRUE(windowClosed());
    harness->onServer([](HelperServer& s) { s.cancelPairing(); });
    EXPECT_FALSE(harness->waitForEvent<ServerEvent::Pairing>(100ms)) << "no window, nothing published";
}

// A proof counts only under the TLS identity it belongs to: a device's own key for authenticate, a pairing
// key for pairRequest. Anything else is refused as out of turn and counted.
TEST_F(ServerPairing, AProofUnderAnotherIdentityIsRefusedAndCounted) {
    auto anna = harness->addPairedDevice("Anna");
    auto window = openWindow();
    for (auto method : {PairingMethod::qrCode, PairingMethod::manualCode}) {
        auto phone = connect(window, method);
        auto ack = phone->hello();
        auto key = OrvikKeys::authenticationKey(anna.key, anna.id);
        phone->send(Authenticate{anna.id, OrvikKeys::proof(key, ack.challenge)});
        EXPECT_EQ(errorOf(phone->next()), (ErrorMessage{ErrorCode::unauthorized}));
        EXPECT_TRUE(phone->waitForEnd());
        harness->clock.advance(100); // past the lockout
    }
    auto asAnna = harness->connect(anna.sessionKey());
    requestPairing(*asAnna, window, PairingMethod::qrCode, Uuid::random());
    EXPECT_EQ(errorOf(asAnna->next()), (ErrorMessage{ErrorCode::unauthorized}));
    EXPECT_EQ(failuresRecorded(), 3u);
    EXPECT_TRUE(harness->onServer([](HelperServer& s) { return s.connectedDevices(); }).empty());
    EXPECT_EQ(harness->store->devices().size(), 1u) << "nothing paired";
    EXPECT_FALSE(windowClosed(200ms));
}

} // namespace
} // namespace orvik::test
