#include "screen/SyntheticCaptureSource.hpp"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace orvik::helper {

namespace {

constexpr const char* syntheticThreadName = "orvik-synthetic";
constexpr std::uint64_t second = 1'000'000'000;
constexpr std::uint8_t neutralChroma = 128;

} // namespace

SyntheticCaptureSource::SyntheticCaptureSource(ScreenDisplay display, ScreenClock now)
    : display_(std::move(display)), now_(std::move(now)) {}

SyntheticCaptureSource::~SyntheticCaptureSource() {
    std::unique_lock lock(mutex_);
    cancelTimer(lock);
}

std::uint64_t SyntheticCaptureSource::period(int frameRate) {
    return second / static_cast<std::uint64_t>(std::max(frameRate, 1));
}

void SyntheticCaptureSource::fill(PixelBuffer& buffer, std::uint8_t luma) {
    std::memset(buffer.planeBytes(0).data(), luma, buffer.planeBytes(0).size());
    for (std::size_t plane = 1; plane < 3; ++plane) {
        std::memset(buffer.planeBytes(plane).data(), neutralChroma, buffer.planeBytes(plane).size());
    }
}

void SyntheticCaptureSource::displays(std::function<void(DisplaysResult)> done) {
    done(std::vector<ScreenDisplay>{display_});
}

void SyntheticCaptureSource::start(CaptureConfiguration configuration, FrameHandler onFrame, StopHandler onStop,
                                   Completion done) {
    if (configuration.displayID != display_.id) {
        done(ScreenCaptureFailure::displayUnavailable);
        return;
    }
    {
        std::unique_lock lock(mutex_);
        // A start while running ends the running timer rather than leaving it behind.
        cancelTimer(lock);
        configuration_ = configuration;
        running_ = Running{std::move(onFrame), std::move(onStop), period(configuration.frameRate)};
        ++starts_;
        const auto run = ++run_;
        timer_ = std::thread([this, run] { this->run(run); });
    }
    done(std::nullopt);
}

void SyntheticCaptureSource::update(CaptureConfiguration configuration, Completion done) {
    {
        std::lock_guard lock(mutex_);
        configuration_ = configuration;
    }
    done(std::nullopt);
}

void SyntheticCaptureSource::stop(std::function<void()> done) {
    {
        std::unique_lock lock(mutex_);
        cancelTimer(lock);
        configuration_.reset();
        running_.reset();
        frameIndex_ = 0;
    }
    done();
}

void SyntheticCaptureSource::fail(ScreenCaptureFailure failure) {
    StopHandler onStop;
    {
        std::unique_lock lock(mutex_);
        cancelTimer(lock);
        if (running_) onStop = std::move(running_->onStop);
        configuration_.reset();
        running_.reset();
        frameIndex_ = 0;
    }
    if (onStop) onStop(failure);
}

int SyntheticCaptureSource::startCount() const {
    std::lock_guard lock(mutex_);
    return starts_;
}

std::optional<CaptureConfiguration> SyntheticCaptureSource::currentConfiguration() const {
    std::lock_guard lock(mutex_);
    return configuration_;
}

// Ends the timer thread; waits for it unless called from it (then it ends after its current tick).
void SyntheticCaptureSource::cancelTimer(std::unique_lock<std::mutex>& lock) {
    ++run_;
    wake_.notify_all();
    auto timer = std::move(timer_);
    if (!timer.joinable()) return;
    lock.unlock();
    if (timer.get_id() == std::this_thread::get_id()) {
        timer.detach();
    } else {
        timer.join();
    }
    lock.lock();
}

void SyntheticCaptureSource::run(std::uint64_t run) {
    pthread_setname_np(pthread_self(), syntheticThreadName);
    auto deadline = std::chrono::steady_clock::now();
    std::unique_lock lock(mutex_);
    while (run_ == run && running_) {
        if (wake_.wait_until(lock, deadline, [&] { return run_ != run; })) return;
        const auto step = std::chrono::nanoseconds(running_->period);
        // A late tick does not make the following ones come in a burst.
        deadline = std::max(deadline + step, std::chrono::steady_clock::now());
        lock.unlock();
        tick();
        lock.lock();
    }
}

void SyntheticCaptureSource::tick() {
    CaptureConfiguration configuration;
    FrameHandler onFrame;
    std::int64_t index = 0;
    std::shared_ptr<PixelBufferPool> pool;
    {
        std::lock_guard lock(mutex_);
        if (!running_ || !running_->onFrame || !configuration_) return;
        index = ++frameIndex_;
        configuration = *configuration_;
        onFrame = running_->onFrame;
        if (!pool_ || pool_->width() != configuration.width || pool_->height() != configuration.height) {
            pool_ = std::make_shared<PixelBufferPool>(configuration.width, configuration.height);
        }
        pool = pool_;
    }
    if (configuration.width <= 0 || configuration.height <= 0) return;
    // All buffers still with the encoder: this frame is skipped, its brightness still used up.
    auto buffer = pool->acquire();
    if (!buffer) return;
    fill(*buffer, luma(index));
    onFrame(CapturedFrame{std::move(buffer), now_()});
}

} // namespace orvik::helper
