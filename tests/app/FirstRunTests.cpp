#include "HelperUnderTest.hpp"
#include "WaitUntil.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

namespace orvik::test {
namespace {

using namespace std::chrono_literals;

// A first start: no settings, no paired phone. The helper opens the first-run window by itself and ends cleanly on
// SIGTERM, the way a session ends it.
TEST(FirstRun, OpensTheSetUpWindowAndEndsOnSigterm) {
    HelperUnderTest running({.onboarded = false});
    auto& helper = running.process();
    EXPECT_TRUE(waitUntil([] { return windowShown("Set Up Orvik Helper"); }, 30s));

    helper.signal(SIGTERM);
    EXPECT_EQ(helper.waitForExit(20s), 0);
    // Nothing on standard output: it never prints a pairing secret or anything else.
    EXPECT_EQ(helper.readToEnd(0ms), "");
}

} // namespace
} // namespace orvik::test
