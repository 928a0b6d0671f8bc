#include "ChildProcess.hpp"
#include "ProcessUsage.hpp"
#include "WaitUntil.hpp"
#include "orvik/protocol/pairing/PairingPayload.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

namespace orvik::test {
namespace {

using namespace std::chrono_literals;

// Next to nothing at rest; a busy loop costs a whole core. Wide enough for a loaded two-core machine.
constexpr double restingCpuShare = 0.2;

std::string visibleWindow(const std::string& title) {
    auto found = ChildProcess::run({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}, 5s);
    return found.status == 0 && !found.lines.empty() ? found.lines.front() : std::string();
}

// The QR code in a grab of the window, as a phone's camera reads it; empty when there is none.
std::string codeIn(const std::string& window) {
    const std::string picture = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/window.png";
    ChildProcess::run({"import", "-window", window, picture}, 10s);
    auto read = ChildProcess::run({"zbarimg", "--quiet", "--raw", picture}, 10s);
    return read.status == 0 && !read.lines.empty() ? read.lines.front() : std::string();
}

void press(const std::string& window, const std::string& key) {
    ChildProcess::run({"xdotool", "windowactivate", "--sync", window}, 5s);
    ChildProcess::run({"xdotool", "key", key}, 5s);
}

// A first start followed through the first-run window with the keyboard; a phone pairs with the URL read from
// the screen. Neither program prints the secret: their output is only compared, never shown.
TEST(PairingEndToEnd, APhonePairsWithTheCodeReadFromTheFirstRunWindow) {
    ChildProcess helper({ORVIK_HELPER_PATH});
    std::string window;
    ASSERT_TRUE(waitUntil([&] { return !(window = visibleWindow("Set Up Orvik Helper")).empty(); }, 30s));
    // Welcome, the permission (XTEST is there: the step moves on by itself), the network step's start and its
    // Continue once the listener is ready; Return does nothing while the code is shown.
    std::string url;
    ASSERT_TRUE(waitUntil(
        [&] {
            press(window, "Return");
            url = codeIn(window);
            return !url.empty();
        },
        60s, [] {}));
    const auto payload = PairingPayload::parse(url);
    ASSERT_TRUE(payload && !payload->addresses.empty()) << "not a pairing URL";
    EXPECT_TRUE(payload->url() == url) << "the picture carries the payload byte for byte";

    const std::string address = "127.0.0.1:" + std::to_string(payload->addresses.front().port);
    EXPECT_EQ(ChildProcess::run({ORVIK_PHONE_PATH, "--pair-url", url, "--connect", address}, 60s).status, 0);
    // The confirmation replaces the code; Return is its Done, which closes the window.
    EXPECT_TRUE(waitUntil([&] { return codeIn(window).empty(); }, 20s, [] {}));
    EXPECT_TRUE(waitUntil(
        [&] {
            press(window, "Return");
            return visibleWindow("Set Up Orvik Helper").empty();
        },
        30s, [] {}));
    // With no window left, the program rests: a window that went on fitting itself would keep a core busy.
    std::this_thread::sleep_for(500ms);
    const auto usage = UsageRate::over(helper.pid(), 3s);
    ASSERT_TRUE(usage);
    EXPECT_LT(usage->cpuShare, restingCpuShare) << usage->describe();

    helper.signal(SIGTERM);
    EXPECT_EQ(helper.waitForExit(20s), 0);
    EXPECT_TRUE(helper.readToEnd(0ms).empty()) << "the helper printed something";
}

} // namespace
} // namespace orvik::test
