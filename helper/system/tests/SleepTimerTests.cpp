#include "ManualSleeper.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;
using Scheduled = SleepTimer::Scheduled;

struct SleepTimerTest : testing::Test {
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
    std::vector<std::string> happened;
};

struct SleepTimerDelays : SleepTimerTest, testing::WithParamInterface<DelayCase> {};

TEST_P(SleepTimerDelays, WarnsAMinuteAheadOnlyWhenTheDelayIsLongerThanThatAndFiresIdle) {
    schedule(PowerAction::sleep, GetParam().seconds);
    std::vector<std::chrono::nanoseconds> waits;
    while (!sleeper.waits.empty()) {
        waits.push_back(sleeper.waits.front()->delay);
        sleeper.finish();
    }
    EXPECT_EQ(waits, GetParam().waits);
    EXPECT_EQ(happened, GetParam().happened);
    EXPECT_EQ(timer->scheduled(), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Delays, SleepTimerDelays,
                         testing::Values(DelayCase{61, {1s, 60s}, {"warn sleep", "fire sleep"}},
                                         DelayCase{60, {60s}, {"fire sleep"}}, DelayCase{1, {1s}, {"fire sleep"}},
                                         DelayCase{0, {0s}, {"fire sleep"}}, DelayCase{-3, {0s}, {"fire sleep"}}));

TEST_F(SleepTimerTest, AReplacedActionWhoseWaitEndsLateNeitherFiresNorClearsTheNewOne) {
    std::vector<std::optional<Scheduled>> observed;
    timer->setObserver([&](std::optional<Scheduled> scheduled) { observed.push_back(scheduled); });
    schedule(PowerAction::sleep, 30);
    schedule(PowerAction::shutDown, 100);
    sleeper.finish(); // the first wait had already run out when it was cancelled
    EXPECT_TRUE(happened.empty());
    EXPECT_EQ(timer->status(), (SleepTimerStatus{PowerAction::shutDown, 100}));
    ASSERT_EQ(observed.size(), 2U);
    EXPECT_EQ(observed.back(), (Scheduled{PowerAction::shutDown, now + 100s}));

    timer->cancel();
    sleeper.finish();
    EXPECT_TRUE(happened.empty()) << "the new action stays cancellable";
    EXPECT_EQ(observed.back(), std::nullopt);
}

TEST_F(SleepTimerTest, CancelAfterTheWarningStopsTheActionAndCancelWhileIdleStillNotifies) {
    int notified = 0;
    timer->cancel();
    timer->setObserver([&](std::optional<Scheduled>) { ++notified; });
    EXPECT_EQ(notified, 0) << "installing an observer does not call it";
    timer->cancel();
    EXPECT_EQ(notified, 1);

    schedule(PowerAction::restart, 120);
    sleeper.finish();
    timer->cancel();
    sleeper.finish(); // a cancelled wait ends early
    EXPECT_EQ(happened, std::vector<std::string>{"warn restart"});
    EXPECT_EQ(timer->status(), std::nullopt);
}

TEST_F(SleepTimerTest, RemainingSecondsRoundHalvesUpAndNeverGoNegative) {
    schedule(PowerAction::sleep, 90);
    now += 500ms;
    EXPECT_EQ(timer->status()->remainingSeconds, 90) << "89.5 s left";
    now += 89100ms;
    EXPECT_EQ(timer->status()->remainingSeconds, 0) << "0.4 s left";
    now += 1h;
    EXPECT_EQ(timer->status()->remainingSeconds, 0) << "the wall clock went past the due time";
}

} // namespace
} // namespace orvik::helper
