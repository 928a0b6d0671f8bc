#include "FakeVolume.hpp"
#include "ManualSleeper.hpp"
#include "RecordingCommandSession.hpp"
#include "system/FakePowerExecutor.hpp"
#include "system/SystemController.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace orvik::helper {
namespace {

using test::RecordingCommandSession;
using Outcome = RecordingCommandSession::Outcome;
using Pushed = RecordingCommandSession::StatusPushed;

struct SystemControllerTest : testing::Test {
    std::shared_ptr<FakeVolume> volume = std::make_shared<FakeVolume>(VolumeStatus{0.97F, false, true});
    std::shared_ptr<FakePowerExecutor> power = std::make_shared<FakePowerExecutor>();
    ManualSleeper sleeper;
    bool canPost = true;
    std::vector<OverlayMode> overlays;
    std::shared_ptr<RecordingCommandSession> session = std::make_shared<RecordingCommandSession>();

    std::shared_ptr<SystemController> make(bool withOverlay = false) {
        SystemController::Services services;
        services.volume = volume;
        services.power = power;
        services.sleepTimer = SleepTimer::create(sleeper.sleeper());
        if (withOverlay) services.overlay = [this](OverlayMode mode) { overlays.push_back(mode); };
        services.canPostEvents = [this] { return canPost; };
        return SystemController::create(std::move(services));
    }
    void send(SystemController& controller, const OrvikMessage& message) {
        bool done = false;
        controller.handle(message, session, [&] { done = true; });
        EXPECT_TRUE(done);
    }
};

struct PowerCase {
    PowerAction action;
    std::optional<std::int64_t> delay;
    bool allowed;
    CommandOutcome outcome;
    std::vector<PowerAction> executed;
    bool scheduled;
    bool canPost = true;
};

struct ControllerPower : SystemControllerTest, testing::WithParamInterface<PowerCase> {};

TEST_P(ControllerPower, ChecksThePolicyThenTheDelayThenRunsOrSchedules) {
    const auto& given = GetParam();
    session->preferences.allowRestart = given.allowed;
    canPost = given.canPost;
    auto controller = make();
    send(*controller, PowerCommand{7, given.action, given.delay});
    EXPECT_EQ(session->calls<Outcome>().at(0).outcome, given.outcome);
    EXPECT_EQ(session->calls<Outcome>().at(0).requestID, 7U);
    EXPECT_EQ(power->actions, given.executed);
    EXPECT_EQ(controller->sleepTimer()->scheduled().has_value(), given.scheduled);
    EXPECT_EQ(session->calls<Pushed>().size(), given.scheduled ? 1U : 0U) << "a forced push shows the timer";
}

const auto invalid = CommandOutcome::failure(ErrorCode::invalidRequest);
const auto ok = CommandOutcome::success();
INSTANTIATE_TEST_SUITE_P(
    Cases, ControllerPower,
    testing::Values(
        PowerCase{PowerAction::sleep, 0, true, invalid, {}, false},
        PowerCase{PowerAction::sleep, 1, true, ok, {}, true}, PowerCase{PowerAction::sleep, 86400, true, ok, {}, true},
        PowerCase{PowerAction::sleep, 86401, true, invalid, {}, false},
        PowerCase{PowerAction::sleep, -5, true, invalid, {}, false},
        PowerCase{PowerAction::lock, 30, true, invalid, {}, false},
        PowerCase{PowerAction::lock, std::nullopt, true, ok, {PowerAction::lock}, false},
        PowerCase{PowerAction::lock,
                  std::nullopt,
                  true,
                  CommandOutcome::failure(ErrorCode::permissionMissing),
                  {},
                  false,
                  false},
        PowerCase{PowerAction::restart, std::nullopt, false, CommandOutcome::failure(ErrorCode::notAllowed), {}, false},
        PowerCase{PowerAction::restart, 86401, false, CommandOutcome::failure(ErrorCode::notAllowed), {}, false},
        PowerCase{PowerAction::restart, std::nullopt, true, ok, {PowerAction::restart}, false}));

TEST_F(SystemControllerTest, ADelayedActionIsDroppedWhenPausedOrNoLongerAllowedAtItsDueTimeAndRunsOtherwise) {
    auto controller = make();
    for (bool paused : {true, false}) {
        for (bool allowed : {false, true}) {
            session->paused = paused;
            session->preferences.allowShutDown = true;
            send(*controller, PowerCommand{1, PowerAction::shutDown, 5});
            session->preferences.allowShutDown = allowed;
            const auto pushesBefore = session->calls<Pushed>().size();
            sleeper.finish();
            EXPECT_EQ(session->calls<Pushed>().size(), pushesBefore + 1);
            EXPECT_TRUE(session->calls<Pushed>().back().force);
        }
    }
    EXPECT_EQ(power->actions, std::vector<PowerAction>{PowerAction::shutDown}) << "only when running and allowed";
    EXPECT_EQ(session->calls<Outcome>().size(), 4U) << "the phone is answered at scheduling only";
    HelperStatus status;
    controller->fill(status);
    EXPECT_EQ(status.volume, volume->status());
    EXPECT_EQ(status.sleepTimer, std::nullopt);
}

TEST_F(SystemControllerTest, CancelWithNothingPendingStillForcesAStatusPush) {
    auto controller = make();
    send(*controller, CancelSleepTimer{});
    ASSERT_EQ(session->calls<Pushed>().size(), 1U);
    EXPECT_TRUE(session->calls<Pushed>()[0].force);
}

TEST_F(SystemControllerTest, MediaKeysChangeASettableVolumeAndArePostedOtherwise) {
    auto controller = make();
    for (auto key : {MediaKey::volumeUp, MediaKey::volumeDown, MediaKey::mute, MediaKey::next})
        send(*controller, MediaCommand{key});
    send(*controller, VolumeSet{-0.2F});
    send(*controller, VolumeSet{std::nanf("")});
    EXPECT_EQ(volume->setLevels, (std::vector<float>{1.0F, 0.9375F, 0.0F}));
    EXPECT_EQ(volume->setMutes, std::vector<bool>{true});
    EXPECT_EQ(session->calls<Pushed>().size(), 4U);
    EXPECT_EQ(session->calls<RecordingCommandSession::MediaPosted>().at(0).key, MediaKey::next);

    volume = std::make_shared<FakeVolume>();
    auto withoutOutput = make();
    send(*withoutOutput, MediaCommand{MediaKey::volumeDown});
    send(*withoutOutput, VolumeSet{0.5F});
    EXPECT_EQ(session->calls<RecordingCommandSession::MediaPosted>().at(1).key, MediaKey::volumeDown);
    EXPECT_TRUE(volume->setLevels.empty());
}

TEST_F(SystemControllerTest, PresentationPressesEachComboEvenAfterARefusedOne) {
    auto controller = make();
    session->pressAnswer = false;
    send(*controller, PresentationCommand{PresentationAction::next, PresentationApp::keynote});
    send(*controller, PresentationCommand{PresentationAction::start, PresentationApp::generic});
    auto presses = session->calls<RecordingCommandSession::Pressed>();
    ASSERT_EQ(presses.size(), 1U);
    EXPECT_EQ(presses[0].combo, (KeyCombo{MacKey::rightArrow, {}}));
}

TEST_F(SystemControllerTest, OverlayAndUnknownMessagesWithoutTheirHandlers) {
    auto plain = make();
    send(*plain, OverlayCommand{OverlayMode::laser});
    send(*plain, Ping{});
    EXPECT_FALSE(plain->capabilities().contains(Capabilities::overlay));
    EXPECT_EQ(session->calls<RecordingCommandSession::Replied>().at(0).error, ErrorCode::unsupported);

    auto withOverlay = make(true);
    send(*withOverlay, OverlayCommand{OverlayMode::spotlight});
    EXPECT_TRUE(withOverlay->capabilities().contains(Capabilities::overlay));
    EXPECT_EQ(overlays, std::vector<OverlayMode>{OverlayMode::spotlight});
}

} // namespace
} // namespace orvik::helper
