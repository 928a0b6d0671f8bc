#pragma once

#include "screen/ScreenServices.hpp"

#include <mutex>

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

} // namespace orvik::helper::testing
