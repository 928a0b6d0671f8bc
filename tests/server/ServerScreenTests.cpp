#include "ServerHarness.hpp"

#include "server/ScreenServices.hpp"

#include <gtest/gtest.h>

#include <mutex>

namespace orvik::test {
namespace {

using helper::ScreenCaptureFailure;
using helper::ScreenStream;

ScreenStart startRequest(std::vector<ScreenCodec> codecs = {ScreenCodec::h264}) {
    ScreenStart start;
    start.settings.maxWidth = 1280;
    start.settings.maxHeight = 800;
    start.settings.frameRate = 75;
    start.codecs = std::move(codecs);
    return start;
}

// Screen viewing without any services: every request is answered at once, also while paused.
TEST(ServerScreenWithoutServices, RequestsAreRefusedAsUnsupportedAndTheRestIgnored) {
    ServerHarness harness;
    harness.start();
    auto device = harness.addPairedDevice("Anna");
    auto phone = harness.authenticatedPhone(device);
    for (bool paused : {false, true}) {
        SCOPED_TRACE(paused ? "paused" : "not paused");
        harness.awaitOnServer([paused](HelperServer& s) { return s.setPaused(paused); });
        phone->send(ScreenDisplaysRequest{{41}});
        auto displays = errorOf(phone->nextIgnoringStatus());
        ASSERT_TRUE(displays);
        EXPECT_EQ(displays->code, ErrorCode::unsupported);
        EXPECT_EQ(displays->requestID, 41u);
        phone->send(startRequest());
        auto start = errorOf(phone->nextIgnoringStatus());
        ASSERT_TRUE(start);
        EXPECT_EQ(start->code, ErrorCode::unsupported);
        EXPECT_EQ(start->requestID, std::nullopt);
        phone->send(ScreenFrameAck{1, 2});
        phone->send(ScreenConfigure{std::nullopt, startRequest().settings});
        phone->send(ScreenKeyframeRequest{});
        phone->send(ScreenStop{});
        EXPECT_TRUE(phone->staysQuiet());
    }
    // A refused start does not make the session a screen session.
    EXPECT_EQ(harness.onServer([](HelperServer& s) { return s.connectedDevices(); }).size(), 1u);
    EXPECT_FALSE(harness.waitForEvent<ServerEvent::ScreenViewers>(50ms));
}

// A capture source and stream that complete every call at once and log them.
struct ScreenLog {
    std::mutex mutex;
    std::vector<std::string> calls;
    std::vector<ScreenStream::Target> targets;
    std::optional<ScreenCaptureFailure> startFailure;
    ScreenStream::FailureHandler onFailure;

    void add(std::string call) {
        std::lock_guard lock(mutex);
        calls.push_back(std::move(call));
    }
    std::vector<std::string> taken() {
        std::lock_guard lock(mutex);
        return std::exchange(calls, {});
    }
};

class FakeSource final : public helper::ScreenCaptureSource {
public:
    void displays(std::function<void(DisplaysResult)> done) override {
        done(std::vector<ScreenDisplay>{{1, "Side", 1920, 1080, 1920, 1080, false},
                                        {2, "Built-in", 1440, 900, 2880, 1800, true}});
    }
};

class FakeStream final : public ScreenStream {
public:
    explicit FakeStream(std::shared_ptr<ScreenLog> log) : log_(std::move(log)) {}

    // While held, pause completes only when released.
    static inline std::atomic<bool> holdPause = false;
    static inline std::mutex heldMutex;
    static inline std::vector<Completion> held;
    static void releaseHeld() {
        std::vector<Completion> release;
        {
            std::lock_guard lock(heldMutex);
            release.swap(held);
        }
        for (auto& done : release) done();
    }

    void start(Target target, StartCompletion done) override {
        std::optional<ScreenCaptureFailure> failure;
        {
            std::lock_guard lock(log_->mutex);
            log_->calls.push_back("start");
            log_->targets.push_back(target);
            failure = log_->startFailure;
        }
        done(failure);
    }
    void pause(Completion done) override {
        log_->add("pause");
        if (holdPause) {
            std::lock_guard lock(heldMutex);
            held.push_back(std::move(done));
            return;
        }
        done();
    }
    void resume(StartCompletion done) override {
        log_->add("resume");
        done(std::nullopt);
    }
    void stop(Completion done) override {
        log_->add("stop");
        done();
    }
    void ack(const ScreenFrameAck&) override { log_->add("ack"); }
    void requestKeyframe() override { log_->add("keyframe"); }

private:
    std::shared_ptr<ScreenLog> log_;
};

class ServerScreen : public ::testing::Test {
protected:
    void SetUp() override {
        auto screen = std::make_shared<helper::ScreenServices>();
        screen->canCapture = [] { return true; };
        screen->makeSource = [] { return std::make_shared<FakeSource>(); };
        screen->approve = [this](helper::ScreenViewingRequest request,
                                 std::function<void(helper::ScreenViewingDecision)> done) {
            asked.push_back(request.deviceName);
            done(decision);
        };
        screen->codecs = {ScreenCodec::h264};
        screen->makeStream = [log = log](std::shared_ptr<helper::ScreenCaptureSource>, ScreenStream::Send,
                                         ScreenStream::FailureHandler onFailure) {
            log->onFailure = std::move(onFailure);
            return std::make_shared<FakeStream>(log);
        };
        ServerHarness::Options options;
        options.services.screen = screen;
        options.preferences.screenViewingEnabled = true;
        harness = std::make_unique<ServerHarness>(std::move(options));
        harness->start();
        device = harness->addPairedDevice("Anna");
        phone = harness->authenticatedPhone(device);
    }

    std::vector<ScreenStreamState> states(std::size_t count) {
        std::vector<ScreenStreamState> seen;
        while (seen.size() < count) seen.push_back(phone->expect<ScreenState>().state);
        return seen;
    }

    std::shared_ptr<ScreenLog> log = std::make_shared<ScreenLog>();
    helper::ScreenViewingDecision decision = helper::ScreenViewingDecision::allowOnce;
    std::vector<std::string> asked;
    std::unique_ptr<ServerHarness> harness;
    TestDevice device;
    std::unique_ptr<TestPhone> phone;
};

TEST_F(ServerScreen, AnApprovedViewerStreamsTheMainDisplayInACodecBothSidesHave) {
    decision = helper::ScreenViewingDecision::alwaysAllow;
    phone->send(startRequest({ScreenCodec::hevc}));
    EXPECT_EQ(phone->expect<ScreenState>().state, ScreenStreamState::awaitingApproval);
    auto started = phone->expect<ScreenStarted>();
    EXPECT_EQ(started.display.id, 2u);
    EXPECT_EQ(started.codec, ScreenCodec::h264);
    EXPECT_EQ(started.frameRate, 75);
    EXPECT_EQ(phone->expect<ScreenState>().state, ScreenStreamState::streaming);
    EXPECT_EQ(asked, std::vector<std::string>{"Anna"});
    EXPECT_EQ(harness->preferencesStore->load().screenViewingDevices, std::vector<Uuid>{device.id});

    auto viewers = harness->waitForEvent<ServerEvent::ScreenViewers>();
    ASSERT_TRUE(viewers);
    ASSERT_EQ(viewers->viewers.size(), 1u);
    EXPECT_EQ(viewers->viewers[0].deviceID, device.id);
    // A screen session is no longer a connected control session.
    EXPECT_TRUE(harness->onServer([](HelperServer& s) { return s.connectedDevices(); }).empty());

    phone->send(startRequest());
    auto again = errorOf(phone->nextIgnoringStatus());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->code, ErrorCode::invalidRequest);
    EXPECT_EQ(again->detail, "already streaming");

    phone->send(ScreenFrameAck{1, 2});
    phone->send(ScreenKeyframeRequest{});
    phone->send(ScreenStop{});
    phone->send(Ping{3});
    phone->expect<Pong>();
    EXPECT_EQ(log->taken(), (std::vector<std::string>{"start", "ack", "keyframe", "stop"}));

    // Always allowed from now on: no question.
    phone->send(startRequest());
    EXPECT_NO_THROW(phone->expect<ScreenStarted>());
    EXPECT_EQ(asked.size(), 1u);
}

TEST_F(ServerScreen, ViewingSwitchedOffOrDeniedIsAStateNotAnError) {
    decision = helper::ScreenViewingDecision::deny;
    phone->send(startRequest());
    EXPECT_EQ(states(2), (std::vector{ScreenStreamState::awaitingApproval, ScreenStreamState::notAllowed}));
    EXPECT_TRUE(log->taken().empty());

    auto preferences = harness->onServer([](HelperServer& s) { return s.currentPreferences(); });
    preferences.screenViewingEnabled = false;
    harness->awaitOnServer([preferences](HelperServer& s) { return s.updatePreferences(preferences); });
    phone->send(startRequest());
    EXPECT_EQ(phone->expect<ScreenState>().state, ScreenStreamState::notAllowed);
}

TEST_F(ServerScreen, PauseAndResumeReachEveryViewer) {
    phone->send(startRequest());
    states(1);
    phone->expect<ScreenStarted>();
    states(1);
    harness->awaitOnServer([](HelperServer& s) { return s.setPaused(true); });
    EXPECT_EQ(phone->expect<ScreenState>().state, ScreenStreamState::paused);
    harness->awaitOnServer([](HelperServer& s) { return s.setPaused(false); });
    EXPECT_EQ(phone->expect<ScreenState>().state, ScreenStreamState::streaming);
    EXPECT_EQ(log->taken(), (std::vector<std::string>{"start", "pause", "resume"}));
}

TEST_F(ServerScreen, AResumeDuringASlowPauseLeavesTheViewerStreaming) {
    phone->send(startRequest());
    states(1);
    phone->expect<ScreenStarted>();
    states(1);
    FakeStream::holdPause = true;
    auto pausing = asio::co_spawn(
        harness->thread->executor(), [&]() -> asio::awaitable<void> { co_await harness->server->setPaused(true); },
        asio::use_future);
    ASSERT_TRUE(harness->waitUntil([&](HelperServer&) {
        std::lock_guard lock(FakeStream::heldMutex);
        return FakeStream::held.size() == 1;
    }));
    harness->awaitOnServer([](HelperServer& s) { return s.setPaused(false); });
    FakeStream::holdPause = false;
    FakeStream::releaseHeld();
    pausing.get();
    ASSERT_TRUE(harness->waitUntil([&](HelperServer&) {
        std::lock_guard lock(log->mutex);
        return log->calls.size() >= 3;
    }));
    // The pause that was under way is followed by a resume: the flag as it stands wins.
    EXPECT_EQ(log->taken(), (std::vector<std::string>{"start", "pause", "resume"}));
    EXPECT_EQ(states(2), (std::vector{ScreenStreamState::paused, ScreenStreamState::streaming}));
}

TEST_F(ServerScreen, SwitchingViewingOffStopsEveryViewerWithNotAllowed) {
    phone->send(startRequest());
    EXPECT_EQ(phone->expect<ScreenState>().state, ScreenStreamState::awaitingApproval);
    phone->expect<ScreenStarted>();
    EXPECT_EQ(phone->expect<ScreenState>().state, ScreenStreamState::streaming);
    auto preferences = harness->onServer([](HelperServer& s) { return s.currentPreferences(); });
    preferences.screenViewingEnabled = false;
    harness->awaitOnServer([preferences](HelperServer& s) { return s.updatePreferences(preferences); });
    EXPECT_EQ(phone->expect<ScreenState>().state, ScreenStreamState::notAllowed);
    EXPECT_EQ(log->taken(), (std::vector<std::string>{"start", "stop"}));
    EXPECT_TRUE(harness->onServer([](HelperServer& s) { return s.screenViewers(); }).empty());
}

TEST_F(ServerScreen, FailuresAreMappedToStatesAndTheSessionStays) {
    log->startFailure = ScreenCaptureFailure::permissionDenied;
    phone->send(startRequest());
    EXPECT_EQ(states(2), (std::vector{ScreenStreamState::awaitingApproval, ScreenStreamState::permissionMissing}));
    // The viewer stays registered; a later capture failure stops it.
    log->onFailure(ScreenCaptureFailure::failed);
    EXPECT_EQ(phone->expect<ScreenState>().state, ScreenStreamState::locked);
    EXPECT_TRUE(harness->waitUntil([](HelperServer& s) { return s.screenViewers().empty(); }));
    phone->send(Ping{1});
    EXPECT_EQ(phone->expect<Pong>().value, 1u);
}

TEST_F(ServerScreen, TheEndOfTheViewingSessionStopsItsStream) {
    phone->send(startRequest());
    phone->expect<ScreenState>();
    phone->expect<ScreenStarted>();
    phone->close();
    EXPECT_TRUE(harness->waitUntil([](HelperServer& s) { return s.screenViewers().empty(); }));
    EXPECT_TRUE(harness->waitUntil([&](HelperServer&) {
        auto calls = log->taken();
        return !calls.empty() && calls.back() == "stop";
    }));
}

} // namespace
} // namespace orvik::test
