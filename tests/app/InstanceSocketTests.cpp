#include "HelperUnderTest.hpp"
#include "WaitUntil.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace orvik::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The longest path a socket address holds.
constexpr std::size_t longestSocketPath = 107;
// Ending on SIGTERM takes well under a second; this only catches a program that does not end.
constexpr auto sigtermLimit = 10s;

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

// Points XDG_CONFIG_HOME, for the helpers started meanwhile, at a folder deep enough that the settings folder's
// instance.socket does not fit a socket address; the run's own comes back when it goes.
class DeepConfigHome {
public:
    DeepConfigHome() : previous_(std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "") {
        // A few bytes more than an address holds.
        constexpr std::size_t wanted = longestSocketPath + 8;
        const std::size_t shortest = socketIn(fs::path(previous_) / "d").size();
        const std::size_t depth = 1 + (shortest < wanted ? wanted - shortest : 0);
        folder_ = fs::path(previous_) / std::string(depth, 'd');
        fs::create_directories(folder_);
        ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    }
    ~DeepConfigHome() {
        ::setenv("XDG_CONFIG_HOME", previous_.c_str(), 1);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    DeepConfigHome(const DeepConfigHome&) = delete;
    DeepConfigHome& operator=(const DeepConfigHome&) = delete;

    std::string socket() const { return socketIn(folder_); }

private:
    static std::string socketIn(const fs::path& configHome) {
        return (configHome / "orvik-helper" / "instance.socket").string();
    }

    std::string previous_;
    fs::path folder_;
};

// Mend: with no room for the socket's path in the settings folder, a second start from another session waited its
// five seconds and failed, and nothing said why. Each start now says it once; the running helper runs on and ends
// cleanly.
TEST(Lifecycle, ASettingsFolderTooDeepForItsSocketIsLoggedOnceByEachStartAndNothingEndsBadly) {
    ASSERT_NE(std::getenv("XDG_CONFIG_HOME"), nullptr) << "run through tests/support/run-with-xvfb";
    const DeepConfigHome deep;
    ASSERT_GT(deep.socket().size(), longestSocketPath);
    HelperUnderTest running({.logsOnOutput = true});
    ASSERT_TRUE(waitUntil([] { return windowShown("Orvik Helper"); }, generous));

    const auto otherRuntime = fs::temp_directory_path() / ("orvik-other-runtime-" + std::to_string(::getpid()));
    fs::create_directories(otherRuntime);
    auto second = running.startAgain({"XDG_RUNTIME_DIR=" + otherRuntime.string()});
    EXPECT_EQ(second->waitForExit(generous), 1);
    const auto secondSaid = second->readToEnd(generous);
    EXPECT_EQ(occurrences(secondSaid, deep.socket()), 1U) << secondSaid;
    fs::remove_all(otherRuntime);
    EXPECT_FALSE(running.process().waitForExit(0ms)) << "the running one ended";

    running.process().signal(SIGTERM);
    const auto printed = running.process().readToEnd(sigtermLimit);
    EXPECT_EQ(running.process().waitForExit(generous), 0) << printed;
    EXPECT_EQ(occurrences(printed, deep.socket()), 1U) << printed;
}

} // namespace
} // namespace orvik::test
