#include "ManualSleeper.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;

struct SleepTimerFixture : testing::Test {
    std::chrono::system_clock::time_point now{std::chrono::hours(1000)};
    ManualSleeper sleeper;
    std::shared_ptr<SleepTimer> timer = SleepTimer::create(sleeper.sleeper(), [this] { return now; });
    std::vector<std::string> happened;

    void schedule(PowerAction action, double seconds) {
        auto warn = [this](PowerAction warned) { happened.push_back("warn " + std::string(caseName(warned))); };
        auto fire = [this](PowerAction fired) {
            happened.push_back("fire " + std::string(caseName(fired)) + (timer->status() ? " while shown" : ""));
        };
        timer->schedule(action, seconds, warn, fire);
    }
};

struct DelayCase {
    double seconds;
    std::vector<std::chrono::nanoseconds> waits;
    bool warns;
};

struct SleepTimerDelays : SleepTimerFixture, testing::WithParamInterface<DelayCase> {};

TEST_P(SleepTimerDelays, WarnsAMinuteAheadOnlyWhenTheDelayIsLongerThanThatAndFiresIdle) {
    schedule(PowerAction::sleep, GetParam().seconds);
    std::vector<std::chrono::nanoseconds> waits;
    while (!sleeper.waits.empty()) {
        waits.push_back(sleeper.waits.front().first);
        sleeper.finish();
    }
    EXPECT_EQ(waits, GetParam().waits);
    const std::vector<std::string> warned{"warn sleep", "fire sleep"}, unwarned{"fire sleep"};
    EXPECT_EQ(happened, GetParam().warns ? warned : unwarned);
    EXPECT_EQ(timer->scheduled(), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Delays, SleepTimerDelays,
                         testing::Values(DelayCase{61, {1s, 60s}, true}, DelayCase{60, {60s}, false},
                                         DelayCase{1, {1s}, false}, DelayCase{-3, {0s}, false}));

TEST_F(SleepTimerFixture, AReplacedOrCancelledActionWhoseWaitEndsLateNeitherFiresNorClearsTheNewOne) {
    std::vector<std::optional<SleepTimer::Scheduled>> observed;
    timer->cancel();
    timer->setObserver([&](std::optional<SleepTimer::Scheduled> scheduled) { observed.push_back(scheduled); });
    schedule(PowerAction::sleep, 30);
    schedule(PowerAction::shutDown, 100);
    sleeper.finish(); // the first wait had already run out when it was cancelled
    EXPECT_TRUE(happened.empty());
    now += 500ms;
    EXPECT_EQ(timer->status(), (SleepTimerStatus{PowerAction::shutDown, 100})) << "99.5 s left round up";
    EXPECT_EQ(observed.back(), (SleepTimer::Scheduled{PowerAction::shutDown, now + 99500ms}));
    now += 1h;
    EXPECT_EQ(timer->status()->remainingSeconds, 0) << "a wall clock past the due time shows 0, never less";

    timer->cancel();
    sleeper.finish();
    timer->cancel();
    EXPECT_TRUE(happened.empty()) << "the new action stays cancellable";
    EXPECT_EQ(observed.size(), 4U) << "told at each change and at a cancel while idle, not when installed";
    EXPECT_EQ(observed.back(), std::nullopt);
}

TEST_F(SleepTimerFixture, ACancelThatMeetsAWarningUnderWayReturnsOnlyOnceItWasGivenAndNothingFollows) {
    std::promise<void> begun;
    std::atomic<bool> cancelReturned{false};
    bool returnedDuringWarning = false;
    auto warn = [&](PowerAction) {
        begun.set_value();
        // Long enough for a cancel that does not wait to return meanwhile.
        std::this_thread::sleep_for(100ms);
        returnedDuringWarning = cancelReturned;
    };
    bool fired = false;
    timer->schedule(PowerAction::shutDown, 120, warn, [&](PowerAction) { fired = true; });
    std::thread waitEnds([&] { sleeper.finish(); });
    begun.get_future().wait();
    timer->cancel();
    cancelReturned = true;
    waitEnds.join();

    EXPECT_FALSE(returnedDuringWarning);
    EXPECT_TRUE(sleeper.waits.empty()) << "no wait for the due time follows the cancelled warning";
    EXPECT_FALSE(fired);
    EXPECT_EQ(timer->status(), std::nullopt);
}

} // namespace
} // namespace orvik::helper
