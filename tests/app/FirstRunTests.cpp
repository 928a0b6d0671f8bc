#include "ChildProcess.hpp"
#include "WaitUntil.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

namespace orvik::test {
namespace {

using namespace std::chrono_literals;

bool windowShown(const std::string& title) {
    return ChildProcess::run({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}, 5s).status == 0;
}

// A first start: no settings, no paired phone. The helper opens the first-run window by itself and ends cleanly on
// SIGTERM, the way a session ends it.
TEST(FirstRun, OpensTheSetUpWindowAndEndsOnSigterm) {
    ChildProcess helper({ORVIK_HELPER_PATH});
    EXPECT_TRUE(waitUntil([] { return windowShown("Set Up Orvik Helper"); }, 30s));

    helper.signal(SIGTERM);
    EXPECT_EQ(helper.waitForExit(20s), 0);
    // Nothing on standard output: it never prints a pairing secret or anything else.
    EXPECT_EQ(helper.readToEnd(0ms), "");
}

} // namespace
} // namespace orvik::test
