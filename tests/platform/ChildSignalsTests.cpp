#include "platform/DesktopLaunch.hpp"
#include "platform/Subprocess.hpp"

#include "ChildReport.hpp"
#include "core/tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <pthread.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace orvik::helper {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Launcher {
    const char* name;
    // Starts the reporting child, which writes to `report`; false when it could not be started.
    bool (*start)(const fs::path& folder, const fs::path& report);
};

void PrintTo(const Launcher& launcher, std::ostream* out) {
    *out << launcher.name;
}

bool captured(const fs::path&, const fs::path& report) {
    const auto result = Subprocess::capture(ORVIK_TEST_CHILD_REPORT, {report.string()}, 10s);
    return result && result->status == 0;
}

bool started(const fs::path&, const fs::path& report) {
    return Subprocess::start(ORVIK_TEST_CHILD_REPORT, {report.string()}, [](int) {});
}

bool launchedEntry(const fs::path& folder, const fs::path& report) {
    const auto entry = folder / "orvik-report.desktop";
    std::ofstream(entry) << "[Desktop Entry]\nType=Application\nName=Report\nExec=" ORVIK_TEST_CHILD_REPORT " "
                         << report.string() << "\n";
    return !DesktopLaunch::entry(entry);
}

class ChildSignals : public ::testing::TestWithParam<Launcher> {
protected:
    void SetUp() override {
        // No session bus: GIO's launch notice goes nowhere instead of starting a bus.
        ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (folder_ / "no-bus").string()).c_str(), 1);
        previousPipeAction_ = std::signal(SIGPIPE, SIG_IGN);
    }
    void TearDown() override { std::signal(SIGPIPE, previousPipeAction_); }

    const testing::TemporaryDirectory folder_;
    void (*previousPipeAction_)(int) = SIG_DFL;
};

// The helper ignores SIGPIPE and every thread that opened an X connection blocks it (the main thread too, for the
// global hot key): a program started from there must not inherit either, or a pipeline whose reader ended never
// stops.
TEST_P(ChildSignals, AProgramStartedFromAThreadWithSigpipeBlockedAndIgnoredStartsWithDefaultSignals) {
    const auto report = folder_ / "report";
    bool launched = false;
    std::thread([&] {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        launched = GetParam().start(folder_.path(), report);
    }).join();
    ASSERT_TRUE(launched);
    const auto seen = test::ChildReport::awaited(report);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->blockedSignals, std::uint64_t{0});
    ASSERT_TRUE(seen->ignoredSignals);
    EXPECT_FALSE(test::ChildReport::hasSignal(seen->ignoredSignals, SIGPIPE));
}

INSTANTIATE_TEST_SUITE_P(LaunchPaths, ChildSignals,
                         ::testing::Values(Launcher{"SubprocessCapture", captured},
                                           Launcher{"SubprocessStart", started},
                                           Launcher{"DesktopEntry", launchedEntry}),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace orvik::helper
