#include "HelperUnderTest.hpp"
#include "WaitUntil.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include <sys/resource.h>

namespace orvik::test {
namespace {

using namespace std::chrono_literals;

// A window at rest costs next to nothing; a loop that keeps the GUI thread busy costs a whole core. The bound
// leaves room for a loaded two-core machine and still catches such a loop.
constexpr double restingCpuShare = 0.2;
constexpr auto restInterval = 3s;
// Quitting takes well under a second; this only catches a program that does not end.
constexpr auto quitLimit = 10s;

// The program's use of the CPU while the window with this title is shown, once it has settled.
void expectRestsWith(HelperUnderTest& helper, const std::string& title) {
    ASSERT_TRUE(waitUntil([&] { return windowShown(title); }, generous)) << title;
    std::this_thread::sleep_for(500ms);
    const auto usage = helper.usageOver(restInterval);
    ASSERT_TRUE(usage) << "ended with " << title << " open";
    std::cout << "figure: CPU with \"" << title << "\" open: " << usage->describe() << "\n";
    EXPECT_LT(usage->cpuShare, restingCpuShare) << title << ": " << usage->describe();
}

// Ends the program the given way and expects a clean end in time.
void expectEndsCleanly(ChildProcess& helper, const std::function<void()>& end, const std::string& how) {
    const auto asked = std::chrono::steady_clock::now();
    end();
    const auto status = helper.waitForExit(quitLimit);
    ASSERT_TRUE(status) << how << " did not end the program";
    EXPECT_EQ(*status, 0) << how;
    std::cout << "figure: " << how << " ended the program in "
              << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - asked).count()
              << " ms\n";
}

// A second start hands over to the running program and ends with one line, also from outside the session (another
// runtime folder, or none).
void expectHandsOver(HelperUnderTest& running, const std::vector<std::string>& environment = {}) {
    const auto started = std::chrono::steady_clock::now();
    auto second = running.startAgain(environment);
    EXPECT_EQ(second->waitForExit(generous), 0);
    std::cout
        << "figure: a second start (env " << ::testing::PrintToString(environment) << ") handed over and ended in "
        << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count()
        << " ms\n";
    const auto printed = second->readToEnd(generous);
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
    EXPECT_FALSE(running.process().waitForExit(0ms)) << "the running one ended";
}

// Chooses the last item of the fallback window's menu, "Quit Orvik Helper", as a user does with the mouse and keys.
void quitThroughTheFallbackWindow() {
    ASSERT_TRUE(waitUntil([] { return windowShown("Orvik Helper"); }, generous));
    ASSERT_TRUE(clickWindow("Orvik Helper"));
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(pressKeys({"Up", "Return"}));
}

TEST(Lifecycle, WithoutATrayTheFirstRunWindowRestsComesBackForASecondStartAndQuitEndsIt) {
    HelperUnderTest running({.onboarded = false});
    expectRestsWith(running, "Set Up Orvik Helper");
    // The window standing in for the tray is there, a few seconds after the start.
    ASSERT_TRUE(waitUntil([] { return windowShown("Orvik Helper"); }, generous));
    ASSERT_TRUE(minimizeWindow("Set Up Orvik Helper"));
    // From a shell outside the session.
    expectHandsOver(running, {"-u", "XDG_RUNTIME_DIR"});
    EXPECT_TRUE(waitUntil([] { return windowShown("Set Up Orvik Helper"); }, generous));
    EXPECT_TRUE(waitUntil([] { return activeWindowIs("Set Up Orvik Helper"); }, generous))
        << "active: " << output({"xdotool", "getactivewindow", "getwindowname"});
    expectEndsCleanly(running.process(), quitThroughTheFallbackWindow, "Quit in the window standing in for a tray");
}

TEST(Lifecycle, WithoutATrayTheFixPermissionWindowRestsAndCtrlCEndsIt) {
    HelperUnderTest running({.permissionLost = true});
    expectRestsWith(running, "Allow Orvik Helper Again");
    expectEndsCleanly(
        running.process(), [&] { running.process().signal(SIGINT); }, "SIGINT");
}

TEST(Lifecycle, WithAStatusNotifierTrayEveryWindowRestsASecondStartRaisesThemAndSigtermEndsItMidAlert) {
    TrayHost tray(TrayKind::statusNotifier);
    ASSERT_TRUE(tray.ready());
    HelperUnderTest running;
    const int port = running.listenerPort();
    ASSERT_NE(port, 0);
    auto registered = tray.registeredMenu();
    ASSERT_TRUE(registered);
    const ExportedMenu& menu = *registered;
    ASSERT_TRUE(waitUntil([&] { return menu.contains("Ready"); }, generous));

    const std::vector<std::pair<std::string, std::string>> windows{
        {"Pair iPhone…", "Pair iPhone"}, {"Settings…", "General"}, {"Help", "Orvik Helper Help"}};
    for (const auto& [item, title] : windows) {
        ASSERT_TRUE(menu.open(item, title));
        expectRestsWith(running, title);
    }
    for (const auto& [item, title] : windows) ASSERT_TRUE(minimizeWindow(title));
    expectHandsOver(running);
    for (const auto& window : windows) {
        EXPECT_TRUE(waitUntil([&] { return windowShown(window.second); }, generous)) << window.second;
    }
    EXPECT_TRUE(waitUntil([] { return activeWindowIs("Orvik Helper Help"); }, generous))
        << "the last opened; active: " << output({"xdotool", "getactivewindow", "getwindowname"});
    EXPECT_EQ(running.listenerPort(), port) << "a second server stored its port";
    EXPECT_EQ(tray.registrations(), 1);

    // A phone that types the code shown asks the local user.
    ASSERT_TRUE(focusWindow("Pair iPhone"));
    std::string code;
    ASSERT_TRUE(waitUntil(
        [&] {
            EXPECT_TRUE(pressKeys({"ctrl+a", "ctrl+c"}));
            code = output({"sh", "-c", "xclip -o -selection clipboard; echo"});
            if (!code.empty()) code.pop_back();
            return std::count(code.begin(), code.end(), '-') >= 4;
        },
        generous));
    ChildProcess phone({ORVIK_PHONE_PATH, "--pair-code", code, "--connect", "127.0.0.1:" + std::to_string(port),
                        "--reconnect", "--quiet", "--stdin", "--wait-ms", "0"});
    // The alert takes the focus; its window has no plain-text name to search for.
    ASSERT_TRUE(waitUntil([] { return activeWindowIs("Orvik Helper"); }, generous)) << "no alert";
    expectEndsCleanly(
        running.process(), [&] { running.process().signal(SIGTERM); }, "SIGTERM with an alert open");
}

TEST(Lifecycle, WithAStatusNotifierTrayQuitInItsMenuEndsItDuringTheFirstRun) {
    TrayHost tray(TrayKind::statusNotifier);
    ASSERT_TRUE(tray.ready());
    HelperUnderTest running({.onboarded = false});
    ASSERT_TRUE(waitUntil([] { return windowShown("Set Up Orvik Helper"); }, generous));
    auto registered = tray.registeredMenu();
    ASSERT_TRUE(registered);
    expectEndsCleanly(
        running.process(), [&] { EXPECT_TRUE(registered->choose("Quit Orvik Helper")); }, "Quit in the tray menu");
}

TEST(Lifecycle, WithAnXEmbedTraySigtermAndSighupEndItCleanlyAndASecondStartWithoutWindowsEnds) {
    TrayHost tray(TrayKind::xembed);
    ASSERT_TRUE(tray.ready());
    for (const int number : {SIGTERM, SIGHUP}) {
        HelperUnderTest running;
        ASSERT_NE(running.listenerPort(), 0);
        if (number == SIGTERM) {
            expectHandsOver(running);
            const auto otherSession = std::string(std::getenv("XDG_RUNTIME_DIR")) + "-other";
            std::filesystem::create_directory(otherSession);
            expectHandsOver(running, {"XDG_RUNTIME_DIR=" + otherSession});
        }
        expectEndsCleanly(
            running.process(), [&] { running.process().signal(number); }, number == SIGTERM ? "SIGTERM" : "SIGHUP");
    }
}

// The soft and the hard limit of open files of a process, from /proc.
std::pair<std::string, std::string> openFileLimits(pid_t pid) {
    std::ifstream limits("/proc/" + std::to_string(pid) + "/limits");
    for (std::string line; std::getline(limits, line);) {
        if (!line.starts_with("Max open files")) continue;
        std::istringstream fields(line.substr(std::string("Max open files").size()));
        std::pair<std::string, std::string> found;
        fields >> found.first >> found.second;
        return found;
    }
    return {};
}

// Mend: started with a soft limit of 200 open files, the helper kept it, and strangers filling its connections
// inside TLS left its listener without descriptors: "Listener failed: Too many open files", over and over.
TEST(Lifecycle, ALowSoftLimitOfOpenFilesIsRaisedAtTheStart) {
    constexpr rlim_t low = 200;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    ASSERT_GT(saved.rlim_max, low);
    rlimit lowered = saved;
    lowered.rlim_cur = low;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    HelperUnderTest running; // inherits the lowered limit
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_NE(running.listenerPort(), 0);
    auto text = [](rlim_t limit) { return limit == RLIM_INFINITY ? std::string("unlimited") : std::to_string(limit); };
    EXPECT_EQ(openFileLimits(running.pid()),
              std::pair(text(std::min<rlim_t>(saved.rlim_max, 4096)), text(saved.rlim_max)));
    expectEndsCleanly(
        running.process(), [&] { running.process().signal(SIGTERM); }, "SIGTERM");
}

TEST(Lifecycle, AStartAfterACrashRunsAndTheStartAfterThatHandsOver) {
    HelperUnderTest crashed({.onboarded = false});
    ASSERT_TRUE(waitUntil([] { return windowShown("Set Up Orvik Helper"); }, generous));
    crashed.process().signal(SIGKILL);
    ASSERT_TRUE(crashed.process().waitForExit(generous));
    ASSERT_TRUE(waitUntil([] { return !windowShown("Set Up Orvik Helper"); }, generous));

    auto next = crashed.startAgain();
    EXPECT_TRUE(waitUntil([] { return windowShown("Set Up Orvik Helper"); }, generous));
    auto after = crashed.startAgain();
    EXPECT_EQ(after->waitForExit(generous), 0);
    EXPECT_FALSE(next->waitForExit(0ms)) << "the one after the crash ended";
    expectEndsCleanly(
        *next, [&] { next->signal(SIGTERM); }, "SIGTERM after a crash");
}

// A helper that holds the settings but does not answer (stopped, say): a new start waits a few seconds, says so
// and ends, and never starts a second server on those settings, also where a lock file in them cannot be opened.
// A start that can lock nothing at all (no settings folder can be made, no runtime folder) says so and ends too.
TEST(Lifecycle, AStartWhileAnotherHoldsTheSettingsOrWithNothingToLockEndsWithoutAServer) {
    std::filesystem::remove_all(configFolder());
    std::filesystem::create_directories(configFolder() / "instance.lock");
    const std::string folder = configFolder().string();
    ChildProcess holder({"flock", folder, "sleep", "60"});
    ASSERT_TRUE(waitUntil(
        [&] {
            return output({"sh", "-c", "flock -n \"$0\" true || echo held", folder}) == "held\n";
        },
        generous));

    ChildProcess start({ORVIK_HELPER_PATH});
    EXPECT_EQ(start.waitForExit(generous), 1);
    const auto printed = start.readToEnd(generous);
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
    EXPECT_FALSE(storedDefaults().contains("listenerPort"));
    EXPECT_FALSE(windowShown("Set Up Orvik Helper"));

    const auto notAFolder = configFolder().parent_path() / "not-a-folder";
    std::ofstream(notAFolder) << "";
    ChildProcess lockless(
        {"env", "-u", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME=" + notAFolder.string(), ORVIK_HELPER_PATH});
    EXPECT_EQ(lockless.waitForExit(generous), 1);
    const auto said = lockless.readToEnd(generous);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_FALSE(windowShown("Set Up Orvik Helper"));
    std::filesystem::remove(notAFolder);
}

// Mend: with the session bus gone (the desktop session ending, its daemon killed) the helper ended, and nothing said
// why. Run on a bus of its own, which it takes away.
TEST(SessionBusLoss, IsLoggedAndEndsTheProgramCleanly) {
    HelperUnderTest running({.pairedDevices = 1, .logsOnOutput = true});
    ASSERT_NE(running.listenerPort(), 0);
    // Started: the window standing in for the tray shows (a bus gone during the tray's start-up call holds Qt's
    // D-Bus call for good).
    ASSERT_TRUE(waitUntil([] { return windowShown("Orvik Helper"); }, generous));
    const char* bus = std::getenv("ORVIK_TEST_SESSION_BUS_PID");
    ASSERT_TRUE(bus && std::atoi(bus) > 0) << "run through tests/support/run-with-private-bus";
    ::kill(std::atoi(bus), SIGTERM);
    // Read as it comes: a full pipe would hold the program up.
    const auto printed = running.process().readToEnd(quitLimit);
    const auto status = running.process().waitForExit(generous);
    ASSERT_TRUE(status) << "the session bus going away did not end the program:\n" << printed;
    EXPECT_EQ(*status, 0) << printed;
    const auto said = printed.find("[App] error: The session bus went away (");
    ASSERT_NE(said, std::string::npos) << printed;
    std::cout << "figure: " << printed.substr(said, printed.find('\n', said) - said) << "\n";
}

} // namespace
} // namespace orvik::test
