#pragma once

#include "screen/ScreenServices.hpp"

#include <memory>
#include <mutex>
#include <vector>

namespace orvik::helper::testing {

// A capture source listing a side display and the main one.
class FakeSource final : public ScreenCaptureSource {
public:
    void displays(std::function<void(DisplaysResult)> done) override {
        done(std::vector<ScreenDisplay>{{1, "Side", 1920, 1080, 1920, 1080, false},
                                        {2, "Built-in", 1440, 900, 2880, 1800, true}});
    }
    // Only listed here; the fake stream never drives it.
    void start(CaptureConfiguration, FrameHandler, StopHandler, Completion done) override { done(std::nullopt); }
    void update(CaptureConfiguration, Completion done) override { done(std::nullopt); }
    void stop(std::function<void()> done) override { done(); }
};

// A stream that logs every call and completes it at once, except a pause the test holds. It keeps what the
// server gave it: the send to its viewer and the failure report. Thread-safe.
class FakeStream final : public ScreenStream {
public:
    explicit FakeStream(Send send = {}, FailureHandler onFailure = {})
        : send(std::move(send)), onFailure(std::move(onFailure)) {}

    void start(Target target, StartCompletion done) override {
        record("start");
        std::lock_guard lock(mutex_);
        targets.push_back(target);
        done(startFailure);
    }
    void pause(Completion done) override {
        record("pause");
        heldPause = std::move(done);
        if (!holdPause) heldPause();
    }
    void resume(StartCompletion done) override {
        record("resume");
        done(std::nullopt);
    }
    void stop(Completion done) override {
        record("stop");
        done();
    }
    void ack(const ScreenFrameAck&) override { record("ack"); }
    void requestKeyframe() override { record("keyframe"); }
    std::optional<Target> target() const override {
        std::lock_guard lock(mutex_);
        if (targets.empty()) return std::nullopt;
        return targets.back();
    }
    int currentBitRate() const override { return 0; }

    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return log_;
    }
    void clearCalls() {
        std::lock_guard lock(mutex_);
        log_.clear();
    }

    Send send;
    FailureHandler onFailure;
    std::vector<Target> targets;
    std::optional<ScreenCaptureFailure> startFailure;
    bool holdPause = false;
    Completion heldPause;

private:
    void record(std::string call) {
        std::lock_guard lock(mutex_);
        log_.push_back(std::move(call));
    }

    mutable std::mutex mutex_;
    std::vector<std::string> log_;
};

// Screen services over fake sources whose every stream is a FakeStream kept for the test, and whose question to
// the user always gets `decision`. Destroy it before the server: a stream holds its viewer's connection.
class FakeScreenServices {
public:
    explicit FakeScreenServices(ScreenViewingDecision decision) : services(std::make_shared<ScreenServices>()) {
        services->canCapture = [] { return true; };
        services->makeSource = [] { return std::make_shared<FakeSource>(); };
        services->approve = [decision](ScreenViewingRequest, std::function<void(ScreenViewingDecision)> done) {
            done(decision);
        };
        services->makeStream = [this](std::shared_ptr<ScreenCaptureSource>, ScreenStream::Send send,
                                      ScreenStream::FailureHandler onFailure) {
            std::lock_guard lock(mutex_);
            streams_.push_back(std::make_shared<FakeStream>(std::move(send), std::move(onFailure)));
            return streams_.back();
        };
    }

    // The stream made last.
    std::shared_ptr<FakeStream> lastStream() const {
        std::lock_guard lock(mutex_);
        return streams_.empty() ? nullptr : streams_.back();
    }

    const std::shared_ptr<ScreenServices> services;

private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<FakeStream>> streams_;
};

} // namespace orvik::helper::testing
