#include "HelperUnderTest.hpp"
#include "WaitUntil.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace orvik::test {
namespace {

using namespace std::chrono_literals;

// The helper's start settles within this: the listener is up, the tray found (or the window standing in for it
// shown), and the input sink has stopped reading the pointer, which it does for ten seconds after its last use.
constexpr auto settles = 12s;
constexpr auto idleInterval = 5s;
// Healthy: under one a second. Polling the tray every second made about 60.
constexpr double idleWakeUpsPerSecondAtMost = 10;
constexpr double idleCpuShareAtMost = 0.02;
// Paired phones the helper knows: each is a row of the tray menu.
constexpr std::size_t knownPhones = 20;
// Connections before the first reading (allocator pools and TLS caches fill), then the measured ones.
constexpr int warmUpConnections = 100;
constexpr int measuredConnections = 300;
// Healthy: about 1 MB. Exported menu items left behind by every connection added 20 MB and more.
constexpr std::size_t growthAtMostKiB = 12 * 1024;

std::string name(const testing::TestParamInfo<TrayKind>& kind) {
    switch (kind.param) {
    case TrayKind::none: return "NoTray";
    case TrayKind::xembed: return "XEmbedTray";
    case TrayKind::statusNotifier: return "StatusNotifierTray";
    }
    return "Tray";
}

// One phone connecting, authenticating and closing `times` times in a row.
bool connect(int port, const SeededDevice& device, int times) {
    return ChildProcess::run({ORVIK_PHONE_PATH, "--identity", device.id, "--key", device.keyHex, "--connect",
                              "127.0.0.1:" + std::to_string(port), "--quiet", "--wait-ms", "0", "--repeat",
                              std::to_string(times)},
                             120s)
               .status == 0;
}

std::size_t residentKiB(pid_t pid) {
    const auto usage = ProcessUsage::of(pid);
    return usage ? usage->residentKiB : 0;
}

class IdleAndGrowth : public testing::TestWithParam<TrayKind> {};

// The real program over minutes as a user has it: with nothing happening it sleeps, whatever the tray; phones that
// come and go leave nothing behind in it.
TEST_P(IdleAndGrowth, IdleItSleepsAndPhonesComingAndGoingLeaveNothingBehind) {
    TrayHost tray(GetParam());
    ASSERT_TRUE(tray.ready());
    const auto started = std::chrono::steady_clock::now();
    HelperUnderTest running({.pairedDevices = knownPhones});
    const int port = running.listenerPort();
    ASSERT_NE(port, 0);
    if (GetParam() == TrayKind::statusNotifier) {
        ASSERT_TRUE(tray.registeredMenu());
    }
    std::this_thread::sleep_until(started + settles);

    const auto idle = running.usageOver(idleInterval);
    ASSERT_TRUE(idle);
    EXPECT_LE(idle->wakeUpsPerSecond, idleWakeUpsPerSecondAtMost) << idle->describe();
    EXPECT_LE(idle->cpuShare, idleCpuShareAtMost) << idle->describe();
    if (GetParam() == TrayKind::none) return;

    const SeededDevice& phone = running.devices().front();
    ASSERT_TRUE(connect(port, phone, warmUpConnections));
    const std::size_t before = residentKiB(running.pid());
    ASSERT_TRUE(connect(port, phone, measuredConnections));
    const std::size_t after = residentKiB(running.pid());
    ASSERT_GT(before, 0U);
    EXPECT_LE(after - std::min(after, before), growthAtMostKiB)
        << "resident " << before << " KiB, then " << after << " KiB after " << measuredConnections << " connections";
}

INSTANTIATE_TEST_SUITE_P(Trays, IdleAndGrowth,
                         testing::Values(TrayKind::none, TrayKind::xembed, TrayKind::statusNotifier), name);

} // namespace
} // namespace orvik::test
