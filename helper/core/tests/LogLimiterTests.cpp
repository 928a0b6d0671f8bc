#include "core/LogLimiter.hpp"
#include "core/tests/CapturedLog.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

std::vector<std::string> texts(const testing::CapturedLog& log) {
    std::vector<std::string> lines;
    for (const auto& line : log.lines()) lines.push_back(line.text);
    return lines;
}

TEST(LogLimiter, TheFirstLineOfAKeyGoesThroughAndTheRepeatsAreCountedOnceTheIntervalIsOver) {
    testing::CapturedLog log;
    ManualClock clock(100);
    LogLimiter limiter(60, clock.function());
    EXPECT_TRUE(limiter.write(Log::Level::info, "Server", "device A", "Device authenticated"));
    for (int repeat = 0; repeat < 500; ++repeat) {
        EXPECT_FALSE(limiter.write(Log::Level::info, "Server", "device A", "Device authenticated"));
    }
    EXPECT_TRUE(limiter.write(Log::Level::info, "Server", "device B", "Device authenticated")) << "its own key";
    limiter.flush();
    EXPECT_EQ(texts(log), (std::vector<std::string>{"Server: Device authenticated", "Server: Device authenticated"}))
        << "nothing is summarised within the interval";

    clock.advance(59.5);
    EXPECT_FALSE(limiter.write(Log::Level::info, "Server", "device A", "Device authenticated"));
    clock.advance(0.5);
    EXPECT_TRUE(limiter.write(Log::Level::info, "Server", "device A", "Device authenticated"));
    auto lines = texts(log);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "Server: Device authenticated (501 more times)");
    EXPECT_EQ(lines[3], "Server: Device authenticated") << "a new interval begins";
}

TEST(LogLimiter, FlushAndTheEndWriteTheCountsWithTheLastSuppressedLineAndItsLevel) {
    testing::CapturedLog log;
    ManualClock clock;
    {
        LogLimiter limiter(5, clock.function());
        limiter.write(Log::Level::notice, "Listener", "Listener failed: no bus");
        limiter.write(Log::Level::error, "Listener", "Listener failed: no bus");
        limiter.write(Log::Level::info, "Server", "Quiet line"); // never repeated: no count
        clock.advance(6);
        limiter.flush();
        limiter.flush();
        EXPECT_TRUE(limiter.write(Log::Level::error, "Listener", "Listener failed: no bus")) << "forgotten at flush";
        limiter.write(Log::Level::error, "Listener", "Listener failed: no bus");
    }
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2].text, "Listener: Listener failed: no bus (1 more time)");
    EXPECT_EQ(lines[2].level, Log::Level::error);
    EXPECT_EQ(lines[3].text, "Listener: Listener failed: no bus");
    EXPECT_EQ(lines[4].text, "Listener: Listener failed: no bus (1 more time)") << "written when the limiter ends";
}

TEST(LogLimiter, AFullTableMakesRoomFromKeysWhoseIntervalIsOverAndNeverGrowsBeyondIt) {
    testing::CapturedLog log;
    ManualClock clock;
    LogLimiter limiter(10, clock.function());
    for (std::size_t key = 0; key < LogLimiter::maxKeys; ++key) {
        limiter.write(Log::Level::info, "Test", "key " + std::to_string(key), "line");
    }
    // Every key is still within its interval: an unknown key goes through but is not remembered.
    EXPECT_TRUE(limiter.write(Log::Level::info, "Test", "newcomer", "line"));
    EXPECT_TRUE(limiter.write(Log::Level::info, "Test", "newcomer", "line"));
    EXPECT_FALSE(limiter.write(Log::Level::info, "Test", "key 0", "line"));

    clock.advance(11);
    EXPECT_TRUE(limiter.write(Log::Level::info, "Test", "newcomer", "line"));
    EXPECT_FALSE(limiter.write(Log::Level::info, "Test", "newcomer", "line")) << "remembered once room was made";
    auto lines = log.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].text, "Test: line (1 more time)") << "key 0's count, written as it was dropped";
    EXPECT_EQ(lines.size(), LogLimiter::maxKeys + 4);
}

} // namespace
} // namespace orvik::helper
