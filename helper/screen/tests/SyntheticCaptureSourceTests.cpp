#include "screen/SyntheticCaptureSource.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <thread>

namespace orvik::helper {
namespace {

// Frames as they arrive: size and luma of each.
class Frames {
public:
    ScreenCaptureSource::FrameHandler handler() {
        return [this](CapturedFrame frame) {
            std::lock_guard lock(mutex_);
            seen_.push_back({frame.pixelBuffer->width(), frame.pixelBuffer->plane(0)[0]});
            arrived_.notify_all();
        };
    }
    std::vector<std::pair<int, int>> await(std::size_t count) {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, std::chrono::seconds(30), [&] { return seen_.size() >= count; });
        return seen_;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::pair<int, int>> seen_;
};

std::size_t timerThreads() {
    std::size_t count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string name;
        std::getline(std::ifstream(task.path() / "comm"), name);
        if (name == "orvik-synthetic") ++count;
    }
    return count;
}

CaptureConfiguration configuration(std::uint32_t display, int width) {
    return {display, width, 160, 60, NormalizedRect::full()};
}

TEST(SyntheticCaptureSource, StepsItsBrightnessAndStopsWithoutLeavingATimerBehind) {
    SyntheticCaptureSource source;
    std::optional<ScreenCaptureFailure> failure;
    auto done = [&](std::optional<ScreenCaptureFailure> result) { failure = result; };
    source.start(configuration(2, 320), {}, {}, done);
    EXPECT_EQ(failure, ScreenCaptureFailure::displayUnavailable);
    EXPECT_EQ(source.startCount(), 0);

    Frames first, second;
    source.start(configuration(1, 320), first.handler(), {}, done);
    EXPECT_FALSE(failure);
    auto seen = first.await(3);
    EXPECT_EQ(std::vector(seen.begin(), seen.begin() + 3),
              (std::vector<std::pair<int, int>>{{320, 17}, {320, 18}, {320, 19}}));

    // Another start replaces the running timer; the first handler hears nothing more.
    source.start(configuration(1, 320), second.handler(), {}, done);
    const auto firstCount = first.await(0).size();
    source.update(configuration(1, 640), done);
    EXPECT_EQ(second.await(3).back().first, 640);
    EXPECT_EQ(first.await(0).size(), firstCount);
    EXPECT_EQ(timerThreads(), 1u);
    EXPECT_EQ(source.startCount(), 2);

    source.stop([] {});
    const auto stoppedAt = second.await(0).size();
    EXPECT_FALSE(source.currentConfiguration());
    EXPECT_EQ(timerThreads(), 0u);
    EXPECT_EQ(second.await(0).size(), stoppedAt);
}

TEST(SyntheticCaptureSource, AnUpdateKeepsTheStartsRateAndIsStoredAlsoWhileIdle) {
    SyntheticCaptureSource source;
    auto done = [](std::optional<ScreenCaptureFailure>) {};
    const CaptureConfiguration idle{1, 480, 270, 30, NormalizedRect::full()};
    source.update(idle, done);
    EXPECT_EQ(source.currentConfiguration(), idle);

    Frames frames;
    const CaptureConfiguration slow{1, 320, 160, 5, NormalizedRect::full()};
    source.start(slow, frames.handler(), {}, done);
    EXPECT_EQ(source.currentConfiguration(), slow) << "a start replaces what an update stored";
    frames.await(1);
    const CaptureConfiguration fast{1, 640, 160, 60, NormalizedRect::full()};
    source.update(fast, done);
    EXPECT_EQ(source.currentConfiguration(), fast);
    const auto before = frames.await(0).size();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto seen = frames.await(0);
    // Gross bound: 5 frames a second; 60 would be the updated rate.
    EXPECT_LT(seen.size() - before, 15U);
    EXPECT_EQ(seen.back().first, 640);
    source.stop([] {});
}

TEST(SyntheticCaptureSource, AFailureStopsTheFramesAndIsReportedOnce) {
    SyntheticCaptureSource source;
    Frames frames;
    std::vector<ScreenCaptureFailure> stops;
    source.start(
        configuration(1, 160), frames.handler(), [&](ScreenCaptureFailure f) { stops.push_back(f); }, [](auto) {});
    frames.await(1);
    source.fail(ScreenCaptureFailure::permissionDenied);
    source.fail(ScreenCaptureFailure::failed);
    EXPECT_EQ(stops, std::vector{ScreenCaptureFailure::permissionDenied});
    EXPECT_EQ(timerThreads(), 0u);
}

} // namespace
} // namespace orvik::helper
