#include "server/ScreenViewers.hpp"

#include <gtest/gtest.h>

#include <set>

namespace orvik::helper {
namespace {

// A stream that completes each call at once, or holds its pause until released, and logs every call.
class FakeStream final : public ScreenStream {
public:
    void start(Target target, StartCompletion done) override {
        log.push_back("start");
        targets.push_back(target);
        done(startFailure);
    }
    void pause(Completion done) override {
        log.push_back("pause");
        if (holdPause) {
            heldPause = std::move(done);
        } else {
            done();
        }
    }
    void resume(StartCompletion done) override {
        log.push_back("resume");
        done(std::nullopt);
    }
    void stop(Completion done) override {
        log.push_back("stop");
        done();
    }
    void ack(const ScreenFrameAck&) override { log.push_back("ack"); }
    void requestKeyframe() override { log.push_back("keyframe"); }

    std::vector<std::string> log;
    std::vector<Target> targets;
    std::optional<ScreenCaptureFailure> startFailure;
    bool holdPause = false;
    Completion heldPause;
};

class FakeSource final : public ScreenCaptureSource {
public:
    void displays(std::function<void(DisplaysResult)> done) override {
        done(std::vector<ScreenDisplay>{{1, "Side", 1920, 1080, 1920, 1080, false},
                                        {2, "Built-in", 1440, 900, 2880, 1800, true}});
    }
};

const Uuid session = Uuid::random();
const Uuid device = Uuid::random();

// The server as the viewers see it: one session of device "Anna", and every message sent to it recorded.
class ScreenViewersTest : public ::testing::Test, public ScreenViewers::Host {
protected:
    ScreenViewersTest() {
        screen->canCapture = [] { return true; };
        screen->makeSource = [] { return std::make_shared<FakeSource>(); };
        screen->approve = [this](ScreenViewingRequest request, std::function<void(ScreenViewingDecision)> done) {
            asked.push_back(request.deviceName);
            done(decision);
        };
        screen->codecs = {ScreenCodec::h264};
        screen->makeStream = [this](std::shared_ptr<ScreenCaptureSource>, ScreenStream::Send,
                                    ScreenStream::FailureHandler) { return stream; };
        preferences.screenViewingEnabled = true;
    }

    std::shared_ptr<const ScreenServices> screenServices() const override { return screen; }
    std::optional<Viewing> viewingSession(const Uuid& id) const override {
        if (id != session || ended) return std::nullopt;
        return Viewing{"Anna", "10.0.0.2", [](OrvikMessage) {}};
    }
    void markScreenSession(const Uuid&) override { markedScreen = true; }
    const HelperPreferences& viewingPreferences() const override { return preferences; }
    void allowViewerAlways(const Uuid& id) override { preferences.screenViewingDevices.push_back(id); }
    bool controlPaused() const override { return paused; }
    void sendToViewer(OrvikMessage message, const Uuid&) override { sent.push_back(std::move(message)); }
    void viewersChanged(std::vector<ConnectedDevice> list) override { published.push_back(std::move(list)); }
    ScreenStream::FailureHandler captureFailureHandler(const Uuid&) override { return {}; }

    // Runs an operation of the viewers to its end (the fakes complete at once) or until it waits on a held call.
    template <class Operation> void run(Operation operation) {
        asio::co_spawn(io, std::move(operation), asio::detached);
        settle();
    }
    void settle() {
        io.restart();
        io.poll();
    }
    void handle(OrvikMessage message) { run(viewers.handleScreenMessage(message, session, device)); }
    void start(std::vector<ScreenCodec> codecs = {ScreenCodec::h264}, std::optional<std::uint32_t> display = {}) {
        handle(ScreenStart{display, ScreenSettings{1280, 800, 75, std::nullopt}, std::move(codecs)});
    }
    template <class T> std::vector<T> taken() {
        std::vector<T> found;
        for (const auto& message : sent) {
            if (auto* payload = message.get<T>()) found.push_back(*payload);
        }
        return found;
    }
    std::vector<ScreenStreamState> states() {
        std::vector<ScreenStreamState> found;
        for (const auto& state : taken<ScreenState>()) found.push_back(state.state);
        sent.clear();
        return found;
    }

    asio::io_context io;
    std::shared_ptr<ScreenServices> screen = std::make_shared<ScreenServices>();
    std::shared_ptr<FakeStream> stream = std::make_shared<FakeStream>();
    HelperPreferences preferences;
    ScreenViewingDecision decision = ScreenViewingDecision::allowOnce;
    std::vector<std::string> asked;
    bool paused = false;
    bool ended = false;
    bool markedScreen = false;
    std::vector<OrvikMessage> sent;
    std::vector<std::vector<ConnectedDevice>> published;
    ScreenViewers viewers{*this};
};

using State = ScreenStreamState;

TEST_F(ScreenViewersTest, WithoutServicesRequestsAreUnsupportedAndTheRestIgnored) {
    screen = nullptr;
    handle(ScreenDisplaysRequest{{41}});
    start();
    for (OrvikMessage other : {OrvikMessage(ScreenFrameAck{1, 2}), OrvikMessage(ScreenKeyframeRequest{}),
                               OrvikMessage(ScreenConfigure{}), OrvikMessage(ScreenStop{})}) {
        handle(other);
    }
    auto errors = taken<ErrorMessage>();
    ASSERT_EQ(sent.size(), 2u);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], (ErrorMessage{ErrorCode::unsupported, std::nullopt, 41}));
    EXPECT_EQ(errors[1], (ErrorMessage{ErrorCode::unsupported, std::nullopt, std::nullopt}));
    EXPECT_FALSE(markedScreen) << "a refused start leaves the session a control session";
    EXPECT_TRUE(published.empty());
}

TEST_F(ScreenViewersTest, DisplaysAreListedOnlyWithThePermission) {
    handle(ScreenDisplaysRequest{{7}});
    ASSERT_EQ(taken<ScreenDisplays>().size(), 1u);
    EXPECT_EQ(taken<ScreenDisplays>()[0].displays.size(), 2u);
    sent.clear();
    screen->canCapture = [] { return false; };
    handle(ScreenDisplaysRequest{{8}});
    EXPECT_EQ(taken<ErrorMessage>(), (std::vector{ErrorMessage{ErrorCode::permissionMissing, std::nullopt, 8}}));
}

TEST_F(ScreenViewersTest, AnApprovedViewerStreamsTheMainDisplayInACodecBothSidesHave) {
    decision = ScreenViewingDecision::alwaysAllow;
    start({ScreenCodec::hevc});
    auto started = taken<ScreenStarted>();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].display.id, 2u);
    EXPECT_EQ(started[0].codec, ScreenCodec::h264);
    EXPECT_EQ(started[0].frameRate, 75);
    EXPECT_EQ(states(), (std::vector{State::awaitingApproval, State::streaming}));
    EXPECT_EQ(asked, std::vector<std::string>{"Anna"});
    EXPECT_EQ(preferences.screenViewingDevices, std::vector<Uuid>{device});
    EXPECT_TRUE(markedScreen);
    ASSERT_EQ(published.size(), 1u);
    EXPECT_EQ(published[0], (std::vector{ConnectedDevice{session, device, "Anna", "10.0.0.2"}}));

    start();
    EXPECT_EQ(taken<ErrorMessage>(), (std::vector{ErrorMessage{ErrorCode::invalidRequest, "already streaming"}}));
    for (OrvikMessage message :
         {OrvikMessage(ScreenFrameAck{1, 2}), OrvikMessage(ScreenKeyframeRequest{}), OrvikMessage(ScreenStop{})}) {
        handle(message);
    }
    EXPECT_EQ(stream->log, (std::vector<std::string>{"start", "ack", "keyframe", "stop"}));
    EXPECT_TRUE(viewers.viewers().empty());

    sent.clear();
    start();
    EXPECT_EQ(states(), std::vector{State::streaming}) << "always allowed now: no question";
    EXPECT_EQ(asked.size(), 1u);
}

TEST_F(ScreenViewersTest, AConfigureChoosesAgainAndKeepsTheCodecsOfTheStart) {
    screen->codecs = {ScreenCodec::hevc, ScreenCodec::h264};
    start({ScreenCodec::hevc}, 1);
    handle(ScreenConfigure{9, ScreenSettings{640, 480, 30, std::nullopt}});
    ASSERT_EQ(stream->targets.size(), 2u);
    EXPECT_EQ(stream->targets[0].display.id, 1u) << "the requested display when listed";
    EXPECT_EQ(stream->targets[1].display.id, 2u) << "else the main display";
    EXPECT_EQ(stream->targets[1].codec, ScreenCodec::hevc);
    EXPECT_EQ(stream->targets[1].settings.maxWidth, 640);
}

TEST_F(ScreenViewersTest, ViewingSwitchedOffOrDeniedIsAStateNotAnError) {
    decision = ScreenViewingDecision::deny;
    start();
    EXPECT_EQ(states(), (std::vector{State::awaitingApproval, State::notAllowed}));
    preferences.screenViewingEnabled = false;
    start();
    EXPECT_EQ(states(), std::vector{State::notAllowed});
    EXPECT_TRUE(stream->log.empty());
    EXPECT_TRUE(published.empty());
}

TEST_F(ScreenViewersTest, AnAnswerAfterTheSessionEndedIsDropped) {
    screen->approve = [this](ScreenViewingRequest, std::function<void(ScreenViewingDecision)> done) {
        ended = true;
        done(ScreenViewingDecision::alwaysAllow);
    };
    start();
    EXPECT_EQ(states(), std::vector{State::awaitingApproval});
    EXPECT_TRUE(preferences.screenViewingDevices.empty());
    EXPECT_TRUE(stream->log.empty());
}

TEST_F(ScreenViewersTest, PauseAndResumeReachEveryViewerAndTheLatestStateWins) {
    start();
    paused = true;
    stream->holdPause = true;
    run(viewers.pauseChanged());
    paused = false;
    run(viewers.pauseChanged()); // while the pause is still under way
    stream->heldPause();
    settle();
    EXPECT_EQ(stream->log, (std::vector<std::string>{"start", "pause", "resume"}));
    EXPECT_EQ(states(), (std::vector{State::awaitingApproval, State::streaming, State::paused, State::streaming}));
}

TEST_F(ScreenViewersTest, AViewerRegisteredWhilePausedStartsPaused) {
    paused = true;
    start();
    EXPECT_EQ(stream->log, (std::vector<std::string>{"pause", "start"}));
    EXPECT_EQ(states(), (std::vector{State::awaitingApproval, State::paused}));
}

TEST_F(ScreenViewersTest, FailuresBecomeStatesAndAFailedStartStaysRegisteredUntilCaptureEnds) {
    stream->startFailure = ScreenCaptureFailure::permissionDenied;
    start();
    EXPECT_EQ(states(), (std::vector{State::awaitingApproval, State::permissionMissing}));
    EXPECT_EQ(viewers.viewers().size(), 1u);
    run(viewers.captureFailed(session, ScreenCaptureFailure::failed));
    EXPECT_EQ(states(), std::vector{State::locked});
    EXPECT_TRUE(viewers.viewers().empty());
    run(viewers.captureFailed(session, ScreenCaptureFailure::displayUnavailable));
    EXPECT_TRUE(sent.empty()) << "a failure after the stop sends nothing";
}

TEST_F(ScreenViewersTest, StopAllTellsEachViewerAndTheEndOfASessionStopsItsStreamSilently) {
    start();
    run(viewers.stopAll(State::notAllowed));
    EXPECT_EQ(states(), (std::vector{State::awaitingApproval, State::streaming, State::notAllowed}));
    EXPECT_EQ(stream->log.back(), "stop");
    start();
    viewers.sessionEnded(session);
    EXPECT_EQ(stream->log.back(), "stop");
    ASSERT_FALSE(published.empty());
    EXPECT_TRUE(published.back().empty());
}

// Services that cannot make a stream refuse the viewer as a failed start does, without ending the session.
TEST_F(ScreenViewersTest, ServicesWithoutAStreamRefuseTheViewerAsAFailedStart) {
    const std::vector<std::function<void(ScreenServices&)>> lacking{
        [](ScreenServices& s) { s.makeStream = nullptr; },
        [](ScreenServices& s) { s.makeSource = nullptr; },
        [](ScreenServices& s) {
            s.makeStream = [](std::shared_ptr<ScreenCaptureSource>, ScreenStream::Send, ScreenStream::FailureHandler) {
                return std::shared_ptr<ScreenStream>();
            };
        },
    };
    for (std::size_t index = 0; index < lacking.size(); ++index) {
        SCOPED_TRACE(index);
        auto services = std::make_shared<ScreenServices>(*screen);
        lacking[index](*services);
        screen = services;
        start();
        EXPECT_EQ(states(), (std::vector{State::awaitingApproval, State::locked}));
        EXPECT_TRUE(viewers.viewers().empty());
    }
}

} // namespace
} // namespace orvik::helper
