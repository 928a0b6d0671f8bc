// What the protocol document promises a phone about the helper, checked against the server over real TLS where
// no other test already does.

#include "ServerHarness.hpp"

#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "orvik/protocol/pairing/ManualPairingCode.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <future>

namespace orvik::test {
namespace {

class ProtocolDocument : public ServerWithDevice {};

// The reply to each request while the helper offers no command or app service (screen viewing without its
// services: ServerScreenWithoutServices).
TEST_F(ProtocolDocument, EachRequestWithoutItsServiceGetsTheDocumentedReply) {
    enum class Reply { commandResult, error, nothing };
    struct Row {
        OrvikMessage message;
        Reply reply;
        std::optional<std::uint32_t> requestID = std::nullopt;
    };
    const Row rows[] = {
        {MediaCommand{MediaKey::mute}, Reply::error},
        {VolumeSet{0.5f}, Reply::error},
        {PresentationCommand{}, Reply::error},
        {OverlayCommand{OverlayMode::laser}, Reply::error},
        {OverlayCommand{OverlayMode::off}, Reply::error},
        {CancelSleepTimer{}, Reply::error},
        {PowerCommand{1, PowerAction::sleep, std::nullopt}, Reply::commandResult, 1},
        {AppCommand{2, "app", AppAction::launch}, Reply::commandResult, 2},
        {ShortcutRun{3, "name"}, Reply::commandResult, 3},
        {SendURL{4, "https://example.org"}, Reply::commandResult, 4},
        {ClipboardSet{5, "text"}, Reply::commandResult, 5},
        {ClipboardGet{{6}}, Reply::commandResult, 6},
        {AppsListRequest{{7}}, Reply::commandResult, 7},
        {AppIconRequest{8, "app", 64}, Reply::commandResult, 8},
        {RunningAppsRequest{{9}}, Reply::commandResult, 9},
        {ShortcutsListRequest{{10}}, Reply::commandResult, 10},
        {Pong{1}, Reply::error},
        {CommandResult{12}, Reply::error},
        {RequestUpdateCheck{}, Reply::nothing},
    };
    auto phone = harness.authenticatedPhone(device);
    std::uint64_t ping = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(name(row.message.type()));
        phone->send(row.message);
        phone->send(Ping{++ping});
        auto reply = phone->nextIgnoringStatus();
        if (row.reply == Reply::commandResult) {
            EXPECT_EQ(resultOf(reply), (CommandResult{*row.requestID, ErrorCode::unsupported, std::nullopt}));
        } else if (row.reply == Reply::error) {
            EXPECT_EQ(errorOf(reply), (ErrorMessage{ErrorCode::unsupported, std::nullopt, row.requestID}));
        }
        if (row.reply != Reply::nothing) reply = phone->nextIgnoringStatus();
        EXPECT_EQ(payloadOf<Pong>(reply), Pong{ping});
    }
}

TEST_F(ProtocolDocument, PingsDoNotExtendTheTenSecondsToAuthenticate) {
    auto phone = harness.connect(device.sessionKey());
    phone->hello();
    harness.clock.advance(9);
    phone->send(Ping{1});
    EXPECT_EQ(phone->expect<Pong>().value, 1u);
    harness.clock.advance(1.5);
    harness.maintenancePass();
    EXPECT_EQ(errorOf(phone->next()), (ErrorMessage{ErrorCode::unauthorized, "handshake timeout", std::nullopt}));
    EXPECT_TRUE(phone->waitForEnd());
}

TEST_F(ProtocolDocument, TheIdentityIsTheUpperCaseUuidText) {
    auto identity = OrvikKeys::sessionIdentity(device.id);
    std::transform(identity.begin(), identity.end(), identity.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    EXPECT_THROW(harness.connect(PreSharedKey{OrvikKeys::sessionPSK(device.key, device.id), identity}),
                 ConnectionError);
    EXPECT_TRUE(harness.waitForEvent<ServerEvent::HandshakeFailed>());
}

// While the local user is asked, the helper reads nothing more from the connection.
TEST(ProtocolDocumentPairing, NothingIsReadWhileTheLocalUserIsAsked) {
    std::promise<std::function<void(bool)>> asked;
    ServerHarness::Options options;
    options.services.approvePairing = [&](helper::PairingApprovalRequest, std::function<void(bool)> answer) {
        asked.set_value(std::move(answer));
    };
    ServerHarness harness(std::move(options));
    harness.start();
    auto info = harness.onServer([](HelperServer& s) { return s.startPairing(); });
    ASSERT_TRUE(info);
    harness.waitForEvent([](const ServerEvent& event) {
        auto* status = event.get<ServerEvent::ListenerStatusChanged>();
        return status && status->status.readyPort();
    });
    auto code = *ManualPairingCode::parse(info->manualCode);
    auto phone =
        harness.connect({OrvikKeys::manualPairingPSK(code.bytes), std::string(OrvikKeys::manualPairingIdentity)});
    auto ack = phone->hello();
    auto proofKey = OrvikKeys::pairingProofKey(Bytes(code.bytes.begin(), code.bytes.end()));
    phone->send(PairRequest{Uuid::random(), "Anna", "Phone", "1.0", PairingMethod::manualCode,
                            OrvikKeys::proof(proofKey, ack.challenge)});
    auto question = asked.get_future();
    ASSERT_EQ(question.wait_for(TestPhone::defaultWait), std::future_status::ready);
    // Answered only once read: after the question, which ends the connection.
    phone->send(Ping{1});
    question.get()(true);
    EXPECT_NO_THROW(phone->expect<PairAccepted>());
    EXPECT_TRUE(phone->waitForEnd());
    EXPECT_FALSE(phone->next(0ms));
}

} // namespace
} // namespace orvik::test
