#include "server/ScreenViewers.hpp"
#include "server/tests/FakeScreen.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

using State = ScreenStreamState;
using testing::FakeSource;
using testing::FakeStream;

const Uuid session = Uuid::random();
const Uuid device = Uuid::random();

// The server as the viewers see it: one session of the device "Anna", whose messages are recorded.
class ScreenViewersFixture : public ::testing::Test, public ScreenViewers::Host {
protected:
    ScreenViewersFixture() {
        screen->canCapture = [] { return true; };
        screen->makeSource = [] { return std::make_shared<FakeSource>(); };
        screen->approve = [this](ScreenViewingRequest request, std::function<void(ScreenViewingDecision)> done) {
            asked.push_back(request.deviceName);
            if (endSessionWhenAsked) ended = true;
            done(decision);
        };
        screen->codecs = {ScreenCodec::h264};
        screen->makeStream = [this](auto, auto, auto) { return stream; };
        preferences.screenViewingEnabled = true;
    }

    std::shared_ptr<const ScreenServices> screenServices() const override { return screen; }
    std::optional<Viewing> viewingSession(const Uuid&) const override {
        if (ended) return std::nullopt;
        return Viewing{"Anna", "10.0.0.2", [](OrvikMessage) {}};
    }
    void markScreenSession(const Uuid&) override { markedScreen = true; }
    const HelperPreferences& viewingPreferences() const override { return preferences; }
    void allowViewerAlways(const Uuid& id) override { preferences.screenViewingDevices.push_back(id); }
    bool controlPaused() const override { return paused; }
    void sendToViewer(OrvikMessage message, const Uuid&) override { sent.push_back(std::move(message)); }
    void emitScreenViewers() override { published.push_back(viewers.viewers()); }
    ScreenStream::FailureHandler captureFailureHandler(const Uuid&) override { return {}; }

    // Runs an operation to its end, or until it waits on a held call.
    void run(asio::awaitable<void> operation) {
        asio::co_spawn(io, std::move(operation), asio::detached);
        settle();
    }
    void settle() {
        io.restart();
        io.poll();
    }
    void handle(OrvikMessage message) {
        asio::co_spawn(io, viewers.handleScreenMessage(message, session, device), asio::detached);
        settle();
    }
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
    // The states sent since the last call.
    std::vector<State> states() {
        std::vector<State> found;
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
    bool paused = false, ended = false, endSessionWhenAsked = false, markedScreen = false;
    std::vector<OrvikMessage> sent;
    std::vector<std::vector<ConnectedDevice>> published;
    ScreenViewers viewers{*this};
};

TEST_F(ScreenViewersFixture, DisplaysAreListedWithThePermissionAndRequestsWithoutServicesAreUnsupported) {
    handle(ScreenDisplaysRequest{{7}});
    screen->canCapture = [] { return false; };
    handle(ScreenDisplaysRequest{{8}});
    ASSERT_EQ(taken<ScreenDisplays>().size(), 1u);
    EXPECT_EQ(taken<ScreenDisplays>()[0].displays.size(), 2u);
    EXPECT_EQ(taken<ErrorMessage>(), (std::vector{ErrorMessage{ErrorCode::permissionMissing, std::nullopt, 8}}));

    sent.clear();
    screen = nullptr;
    handle(ScreenDisplaysRequest{{41}});
    start();
    for (const OrvikMessage& other : {OrvikMessage(ScreenFrameAck{1, 2}), OrvikMessage(ScreenKeyframeRequest{}),
                                      OrvikMessage(ScreenConfigure{}), OrvikMessage(ScreenStop{})}) {
        handle(other);
    }
    EXPECT_EQ(taken<ErrorMessage>(), (std::vector{ErrorMessage{ErrorCode::unsupported, std::nullopt, 41},
                                                  ErrorMessage{ErrorCode::unsupported}}));
    EXPECT_EQ(sent.size(), 2u);
    EXPECT_FALSE(markedScreen) << "a refused start leaves the session a control session";
}

TEST_F(ScreenViewersFixture, AnApprovedViewerStreamsTheMainDisplayInACodecBothSidesHave) {
    decision = ScreenViewingDecision::alwaysAllow;
    start({ScreenCodec::hevc});
    EXPECT_EQ(taken<ScreenStarted>(),
              (std::vector{ScreenStarted{{2, "Built-in", 1440, 900, 2880, 1800, true}, ScreenCodec::h264, 75}}));
    EXPECT_EQ(states(), (std::vector{State::awaitingApproval, State::streaming}));
    EXPECT_EQ(asked, std::vector<std::string>{"Anna"});
    EXPECT_EQ(preferences.screenViewingDevices, std::vector<Uuid>{device});
    EXPECT_TRUE(markedScreen);
    EXPECT_EQ(published, (std::vector<std::vector<ConnectedDevice>>{{{session, device, "Anna", "10.0.0.2"}}}));

    start();
    EXPECT_EQ(taken<ErrorMessage>(), (std::vector{ErrorMessage{ErrorCode::invalidRequest, "already streaming"}}));
    for (const OrvikMessage& message :
         {OrvikMessage(ScreenFrameAck{1, 2}), OrvikMessage(ScreenKeyframeRequest{}), OrvikMessage(ScreenStop{})}) {
        handle(message);
    }
    EXPECT_EQ(stream->calls(), (std::vector<std::string>{"start", "ack", "keyframe", "stop"}));
    EXPECT_TRUE(viewers.viewers().empty());

    sent.clear();
    start();
    EXPECT_EQ(states(), std::vector{State::streaming}) << "always allowed now: no question";
    EXPECT_EQ(asked.size(), 1u);
}

TEST_F(ScreenViewersFixture, AConfigureChoosesAgainAndKeepsTheCodecsOfTheStart) {
    screen->codecs = {ScreenCodec::hevc, ScreenCodec::h264};
    start({ScreenCodec::hevc}, 1);
    handle(ScreenConfigure{9, ScreenSettings{640, 480, 30, std::nullopt}});
    ASSERT_EQ(stream->targets.size(), 2u);
    EXPECT_EQ(stream->targets[0].display.id, 1u) << "the requested display when listed";
    EXPECT_EQ(stream->targets[1].display.id, 2u) << "else the main display";
    EXPECT_EQ(stream->targets[1].codec, ScreenCodec::hevc);
    EXPECT_EQ(stream->targets[1].settings.maxWidth, 640);
}

TEST_F(ScreenViewersFixture, ADeniedOrSwitchedOffOrAbandonedStartBuildsNoViewer) {
    decision = ScreenViewingDecision::deny;
    start();
    EXPECT_EQ(states(), (std::vector{State::awaitingApproval, State::notAllowed}));
    preferences.screenViewingEnabled = false;
    start();
    EXPECT_EQ(states(), std::vector{State::notAllowed});
    // The session ends while the question is open: the answer is dropped, nothing is remembered.
    preferences.screenViewingEnabled = true;
    decision = ScreenViewingDecision::alwaysAllow;
    endSessionWhenAsked = true;
    start();
    EXPECT_EQ(states(), std::vector{State::awaitingApproval});
    EXPECT_TRUE(preferences.screenViewingDevices.empty());
    EXPECT_TRUE(stream->calls().empty());
    EXPECT_TRUE(published.empty());
}

TEST_F(ScreenViewersFixture, PauseAndResumeReachEveryViewerAndTheLatestStateWins) {
    start();
    paused = true;
    stream->holdPause = true;
    run(viewers.pauseChanged());
    paused = false;
    run(viewers.pauseChanged()); // while the pause is still under way
    stream->heldPause();
    settle();
    EXPECT_EQ(stream->calls(), (std::vector<std::string>{"start", "pause", "resume"}));
    EXPECT_EQ(states(), (std::vector{State::awaitingApproval, State::streaming, State::paused, State::streaming}));

    // A viewer registered while paused is paused before it starts.
    paused = true;
    stream->holdPause = false;
    run(viewers.stopAll(State::notAllowed));
    stream->clearCalls();
    start();
    EXPECT_EQ(stream->calls(), (std::vector<std::string>{"pause", "start"}));
    EXPECT_EQ(states(), (std::vector{State::notAllowed, State::awaitingApproval, State::paused}));
}

TEST_F(ScreenViewersFixture, FailuresBecomeStatesAndAFailedStartStaysRegisteredUntilCaptureEnds) {
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

TEST_F(ScreenViewersFixture, AResumeTellsAViewerWhoseStreamNeverStartedNothing) {
    class NoDisplays final : public ScreenCaptureSource {
        void displays(std::function<void(DisplaysResult)> done) override { done(std::vector<ScreenDisplay>{}); }
        void start(CaptureConfiguration, FrameHandler, StopHandler, Completion done) override { done(std::nullopt); }
        void update(CaptureConfiguration, Completion done) override { done(std::nullopt); }
        void stop(std::function<void()> done) override { done(); }
    };
    screen->makeSource = [] { return std::make_shared<NoDisplays>(); };
    start();
    paused = true;
    run(viewers.pauseChanged());
    paused = false;
    run(viewers.pauseChanged());
    EXPECT_EQ(states(), (std::vector{State::awaitingApproval, State::displayUnavailable, State::paused}));
}

TEST_F(ScreenViewersFixture, TheEndOfASessionStopsItsStreamSilently) {
    start();
    sent.clear();
    viewers.sessionEnded(session);
    EXPECT_EQ(stream->calls().back(), "stop");
    EXPECT_TRUE(published.back().empty());
    EXPECT_TRUE(sent.empty());
}

// Services that cannot make a stream refuse the viewer as a failed start does, without ending the session.
TEST_F(ScreenViewersFixture, ServicesWithoutAStreamRefuseTheViewerAsAFailedStart) {
    const std::vector<std::function<void(ScreenServices&)>> lacking{
        [](ScreenServices& s) { s.makeStream = nullptr; },
        [](ScreenServices& s) { s.makeSource = nullptr; },
        [](ScreenServices& s) { s.makeStream = [](auto, auto, auto) { return std::shared_ptr<ScreenStream>(); }; },
    };
    for (const auto& remove : lacking) {
        auto services = std::make_shared<ScreenServices>(*screen);
        remove(*services);
        screen = services;
        start();
        EXPECT_EQ(states(), (std::vector{State::awaitingApproval, State::locked}));
        EXPECT_TRUE(viewers.viewers().empty());
    }
}

} // namespace
} // namespace orvik::helper
