#include "FakeVolume.hpp"
#include "ManualSleeper.hpp"
#include "RecordingCommandSession.hpp"
#include "system/FakePowerExecutor.hpp"
#include "system/SystemController.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace orvik::helper {
namespace {

using Session = test::RecordingCommandSession;

struct SystemControllerFixture : testing::Test {
    std::shared_ptr<FakeVolume> volume = std::make_shared<FakeVolume>(VolumeStatus{0.97F, false, true});
    std::shared_ptr<FakePowerExecutor> power = std::make_shared<FakePowerExecutor>();
    ManualSleeper sleeper;
    bool canPost = true;
    std::vector<OverlayMode> overlays;
    std::shared_ptr<Session> session = std::make_shared<Session>();

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
    std::optional<ErrorCode> refusal;
    bool runs = false;
    bool allowed = true;
    bool canPost = true;
};

struct ControllerPower : SystemControllerFixture, testing::WithParamInterface<PowerCase> {};

TEST_P(ControllerPower, ChecksThePolicyThenTheDelayThenRunsOrSchedules) {
    const auto& given = GetParam();
    session->preferences.allowRestart = given.allowed;
    canPost = given.canPost;
    auto controller = make();
    send(*controller, PowerCommand{7, given.action, given.delay});
    const auto answer = session->calls<Session::Outcome>().at(0);
    EXPECT_EQ(answer.requestID, 7U);
    EXPECT_EQ(answer.outcome, given.refusal ? CommandOutcome::failure(*given.refusal) : CommandOutcome::success());
    EXPECT_EQ(power->actions.size(), given.runs ? 1U : 0U);
    const bool scheduled = !given.refusal && !given.runs;
    EXPECT_EQ(controller->sleepTimer()->scheduled().has_value(), scheduled);
    EXPECT_EQ(session->calls<Session::StatusPushed>().size(), scheduled ? 1U : 0U) << "a forced push shows the timer";
}

constexpr auto now = std::nullopt;
INSTANTIATE_TEST_SUITE_P(
    Cases, ControllerPower,
    testing::Values(PowerCase{PowerAction::sleep, 0, ErrorCode::invalidRequest}, PowerCase{PowerAction::sleep, 1, now},
                    PowerCase{PowerAction::sleep, 86400, now},
                    PowerCase{PowerAction::sleep, 86401, ErrorCode::invalidRequest},
                    PowerCase{PowerAction::sleep, -5, ErrorCode::invalidRequest},
                    PowerCase{PowerAction::lock, 30, ErrorCode::invalidRequest},
                    PowerCase{PowerAction::lock, now, now, true},
                    PowerCase{PowerAction::lock, now, ErrorCode::permissionMissing, false, true, false},
                    PowerCase{PowerAction::restart, now, ErrorCode::notAllowed, false, false},
                    PowerCase{PowerAction::restart, 86401, ErrorCode::notAllowed, false, false},
                    PowerCase{PowerAction::restart, now, now, true}));

TEST_F(SystemControllerFixture, ADelayedActionIsDroppedWhenPausedOrNoLongerAllowedAtItsDueTimeAndRunsOtherwise) {
    auto controller = make();
    for (bool paused : {true, false}) {
        for (bool allowed : {false, true}) {
            session->paused = paused;
            session->preferences.allowShutDown = true;
            send(*controller, PowerCommand{1, PowerAction::shutDown, 5});
            session->preferences.allowShutDown = allowed;
            sleeper.finish();
            EXPECT_TRUE(session->calls<Session::StatusPushed>().back().force);
        }
    }
    EXPECT_EQ(power->actions, std::vector<PowerAction>{PowerAction::shutDown}) << "only when running and allowed";
    EXPECT_EQ(session->calls<Session::Outcome>().size(), 4U) << "the phone is answered at scheduling only";
    send(*controller, CancelSleepTimer{});
    EXPECT_TRUE(session->calls<Session::StatusPushed>().back().force) << "also with nothing pending";
}

TEST_F(SystemControllerFixture, MediaKeysChangeASettableVolumeAndArePostedOtherwise) {
    auto controller = make();
    for (auto key : {MediaKey::volumeUp, MediaKey::volumeDown, MediaKey::mute, MediaKey::next})
        send(*controller, MediaCommand{key});
    send(*controller, VolumeSet{-0.2F});
    send(*controller, VolumeSet{std::nanf("")});
    EXPECT_EQ(volume->setLevels, (std::vector<float>{1.0F, 0.9375F, 0.0F}));
    EXPECT_EQ(volume->setMutes, std::vector<bool>{true});
    EXPECT_EQ(session->calls<Session::StatusPushed>().size(), 4U);

    volume = std::make_shared<FakeVolume>();
    auto withoutOutput = make();
    send(*withoutOutput, MediaCommand{MediaKey::volumeDown});
    send(*withoutOutput, VolumeSet{0.5F});
    EXPECT_TRUE(volume->setLevels.empty());
    const auto posted = session->calls<Session::MediaPosted>();
    ASSERT_EQ(posted.size(), 2U);
    EXPECT_EQ(posted[1].key, MediaKey::volumeDown);
}

TEST_F(SystemControllerFixture, AVolumeChangeReturnsAtOnceAndFinishesWhenTheSoundServerAnswers) {
    auto controller = make();
    volume->answerLater = true;
    bool done = false;
    controller->handle(VolumeSet{0.5F}, session, [&] { done = true; });
    controller->handle(MediaCommand{MediaKey::mute}, session, [] {});
    EXPECT_FALSE(done) << "the message is served once the sound server has answered";
    EXPECT_TRUE(session->calls<Session::StatusPushed>().empty());

    ASSERT_EQ(volume->unanswered.size(), 2U);
    volume->unanswered[0](false); // a sound server that never confirmed still ends the message
    EXPECT_TRUE(done);
    EXPECT_EQ(session->calls<Session::StatusPushed>().size(), 1U);
}

TEST_F(SystemControllerFixture, PresentationOverlayAndUnknownMessages) {
    auto plain = make();
    send(*plain, PresentationCommand{PresentationAction::next, PresentationApp::keynote});
    send(*plain, PresentationCommand{PresentationAction::start, PresentationApp::generic});
    EXPECT_EQ(session->calls<Session::Pressed>().size(), 1U) << "generic has no start";
    send(*plain, OverlayCommand{OverlayMode::laser});
    send(*plain, Ping{});
    EXPECT_FALSE(plain->capabilities().contains(Capabilities::overlay));
    EXPECT_EQ(session->calls<Session::Replied>().at(0).error, ErrorCode::unsupported);

    auto withOverlay = make(true);
    send(*withOverlay, OverlayCommand{OverlayMode::spotlight});
    EXPECT_TRUE(withOverlay->capabilities().contains(Capabilities::overlay));
    EXPECT_EQ(overlays, std::vector<OverlayMode>{OverlayMode::spotlight});
}

} // namespace
} // namespace orvik::helper
