#pragma once

#include "screen/PixelBufferPool.hpp"
#include "screen/ScreenCaptureSource.hpp"
#include "screen/ScreenClock.hpp"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace orvik::helper {

// A capture source without a display: a timer makes uniform grey pictures whose brightness steps with every
// frame (luma 17, 18, … 215, 16, …), at the frame rate it was started with, from pooled buffers. It drives the
// stream and the encoder in tests and in the test server, and records how it was started and updated: an update
// changes the size of the following pictures but not their rate, and is stored also while idle (a start
// replaces it).
//
// Threading: the timer runs on a thread of its own ("orvik-synthetic"), which delivers the pictures; the other
// operations may come from any thread, also from inside `onFrame`. A start while running replaces (and ends) the
// running timer. Completions are called before the operation returns.
class SyntheticCaptureSource final : public ScreenCaptureSource {
public:
    static ScreenDisplay defaultDisplay() { return {1, "Test Display", 1440, 900, 2880, 1800, true}; }

    explicit SyntheticCaptureSource(ScreenDisplay display = defaultDisplay(), ScreenClock now = uptimeNanoseconds);
    ~SyntheticCaptureSource() override;

    void displays(std::function<void(DisplaysResult)> done) override;
    // Fails with displayUnavailable for another display than its own.
    void start(CaptureConfiguration configuration, FrameHandler onFrame, StopHandler onStop, Completion done) override;
    void update(CaptureConfiguration configuration, Completion done) override;
    void stop(std::function<void()> done) override;
    // As if the platform ended the capture: stops, then reports `failure` to `onStop` (once).
    void fail(ScreenCaptureFailure failure);

    int startCount() const;
    std::optional<CaptureConfiguration> currentConfiguration() const;

    // The timer's period: one frame per second for a frame rate of 0 or less.
    static std::uint64_t period(int frameRate);
    // The brightness of the n-th frame after a start (n from 1).
    static std::uint8_t luma(std::int64_t frameIndex) { return static_cast<std::uint8_t>(16 + frameIndex % 200); }
    static void fill(PixelBuffer& buffer, std::uint8_t luma);

private:
    struct Running {
        FrameHandler onFrame;
        StopHandler onStop;
        // The timer's period, from the start's frame rate.
        std::uint64_t period = 0;
    };

    void cancelTimer(std::unique_lock<std::mutex>& lock);
    void run(std::uint64_t run);
    void tick();

    const ScreenDisplay display_;
    const ScreenClock now_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<CaptureConfiguration> configuration_;
    std::optional<Running> running_;
    std::int64_t frameIndex_ = 0;
    int starts_ = 0;
    // Each start's timer runs while `run_` holds its number.
    std::uint64_t run_ = 0;
    std::thread timer_;
    std::shared_ptr<PixelBufferPool> pool_;
};

} // namespace orvik::helper
