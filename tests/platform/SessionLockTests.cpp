#include "platform/SessionLock.hpp"

#include "ChildProcess.hpp"
#include "ProcessUsage.hpp"
#include "WaitUntil.hpp"

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvik::helper {
namespace {

// Runs against the mock logind of tests/support/run-with-private-bus --logind-mock, which holds our session "c1".
void setLockedHint(bool locked) {
    sd_bus* bus = nullptr;
    ASSERT_GE(sd_bus_open_system(&bus), 0);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int result =
        sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1/session/c1",
                           "org.freedesktop.login1.Session", "SetLockedHint", &error, nullptr, "b", locked ? 1 : 0);
    EXPECT_GE(result, 0) << (error.message ? error.message : "");
    sd_bus_error_free(&error);
    sd_bus_flush_close_unref(bus);
}

// Makes the mock's session "c1" our user's display session.
void makeC1TheUsersDisplay() {
    sd_bus* bus = nullptr;
    ASSERT_GE(sd_bus_open_system(&bus), 0);
    const std::string user = "/org/freedesktop/login1/user/" + std::to_string(getuid());
    // The mock holds user 0 only; another user is added (an error when it is there already changes nothing).
    sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.DBus.Mock", "AddUser",
                       nullptr, nullptr, "usb", static_cast<std::uint32_t>(getuid()), "orvik", 1);
    // The mock's own GetUser fails on its number argument.
    ASSERT_GE(sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.DBus.Mock",
                                 "AddMethod", nullptr, nullptr, "sssss", "org.freedesktop.login1.Manager", "GetUser",
                                 "u", "o", "ret = '/org/freedesktop/login1/user/%d' % args[0]"),
              0);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int result = sd_bus_set_property(bus, "org.freedesktop.login1", user.c_str(), "org.freedesktop.login1.User",
                                     "Display", &error, "(so)", "c1", "/org/freedesktop/login1/session/c1");
    EXPECT_GE(result, 0) << (error.message ? error.message : "");
    sd_bus_error_free(&error);
    sd_bus_flush_close_unref(bus);
}

// Stops and continues the mock logind: stopped, it answers no call.
void pauseLogind(bool paused) {
    const char* pid = std::getenv("ORVIK_LOGIND_MOCK_PID");
    ASSERT_NE(pid, nullptr);
    kill(std::atoi(pid), paused ? SIGSTOP : SIGCONT);
}

TEST(SessionLock, followsLogindsSignalsAndAnswersFromWhatItLastHeard) {
    std::mutex mutex;
    std::vector<bool> heard;
    SessionLock lock([&](bool locked) {
        std::lock_guard guard(mutex);
        heard.push_back(locked);
    });
    EXPECT_TRUE(orvik::test::waitUntil([&] { return lock.lockedHint() == false; }));
    setLockedHint(true);
    EXPECT_TRUE(orvik::test::waitUntil([&] { return lock.lockedHint() == true; }));

    // Reading asks nobody: a logind that stopped answering changes nothing.
    pauseLogind(true);
    EXPECT_EQ(lock.lockedHint(), true);
    pauseLogind(false);

    setLockedHint(false);
    EXPECT_TRUE(orvik::test::waitUntil([&] { return lock.lockedHint() == false; }));
    // The handler hears of a change just after lockedHint() shows it.
    EXPECT_TRUE(orvik::test::waitUntil([&] {
        std::lock_guard guard(mutex);
        return heard.size() == 3;
    }));
    std::lock_guard guard(mutex);
    EXPECT_EQ(heard, (std::vector<bool>{false, true, false}));
}

// A logind too slow to answer (a loaded machine) is asked again later: its silence is not "no session".
TEST(SessionLock, asksAgainWhenLogindDidNotAnswerInTime) {
    pauseLogind(true);
    SessionLock lock;
    // Longer than every call of one lookup together.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    pauseLogind(false);
    // Healthy within a second; a loaded machine may see several more calls go unanswered first.
    EXPECT_TRUE(orvik::test::waitUntil([&] { return lock.lockedHint() == false; }, std::chrono::seconds(40)));
}

// Started outside any session (by the user's service manager, say), the helper has neither $XDG_SESSION_ID nor a
// session of its process: it follows the user's display session, as the power actions do.
TEST(SessionLock, withoutASessionOfItsOwnFollowsTheUsersDisplaySession) {
    makeC1TheUsersDisplay();
    // Unset before the watcher's thread exists, which reads it; each test runs in a process of its own.
    ::unsetenv("XDG_SESSION_ID");
    SessionLock lock;
    EXPECT_TRUE(orvik::test::waitUntil([&] { return lock.lockedHint() == false; }));
    setLockedHint(true);
    EXPECT_TRUE(orvik::test::waitUntil([&] { return lock.lockedHint() == true; }));
}

// The watcher's thread's wake-ups over a quiet while.
std::uint64_t wakeUpsWhileQuiet() {
    constexpr auto quiet = std::chrono::seconds(6);
    const auto before = orvik::test::ProcessUsage::of(getpid());
    std::this_thread::sleep_for(quiet);
    const auto after = orvik::test::ProcessUsage::of(getpid());
    return after->wakeUpsOf("Orvik.Session") - before->wakeUpsOf("Orvik.Session");
}

// Neither a system bus nor logind at first: the watcher sleeps until the bus's socket appears, then until logind's
// name gets an owner, and then follows our session. (Trying again every five seconds would wake it each time.)
TEST(SessionLock, waitsWithoutWakingForTheBusAndThenForLogind) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("orvik-later-bus-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string address = "unix:path=" + (folder / "system_bus_socket").string();
    // Set before the watcher's thread exists, which reads it; the other tests run first or in processes of their own.
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    SessionLock lock;
    ASSERT_TRUE(orvik::test::ProcessUsage::waitUntilQuiet(getpid(), "Orvik.Session"));
    EXPECT_EQ(wakeUpsWhileQuiet(), 0U) << "without a bus";

    orvik::test::ChildProcess bus({ORVIK_RUN_TEST_BUS, (folder / "system_bus_socket").string(), "--nofork"});
    // Connecting and asking for logind takes a few wake-ups; then none.
    ASSERT_TRUE(orvik::test::waitUntil([&] { return std::filesystem::exists(folder / "system_bus_socket"); }));
    ASSERT_TRUE(orvik::test::ProcessUsage::waitUntilQuiet(getpid(), "Orvik.Session", std::chrono::seconds(1)));
    EXPECT_LE(wakeUpsWhileQuiet(), 1U) << "without logind";
    EXPECT_EQ(lock.lockedHint(), std::nullopt);

    orvik::test::ChildProcess logind({"/usr/bin/python3", "-m", "dbusmock", "--system", "--template", "logind"});
    sd_bus* client = nullptr;
    ASSERT_TRUE(orvik::test::waitUntil([&] {
        if (!client && sd_bus_open_system(&client) < 0) client = nullptr;
        return client && sd_bus_call_method(client, "org.freedesktop.login1", "/org/freedesktop/login1",
                                            "org.freedesktop.DBus.Mock", "AddSession", nullptr, nullptr, "ssusb", "c1",
                                            "seat0", 0U, "orvik", 1) >= 0;
    }));
    sd_bus_flush_close_unref(client);
    EXPECT_TRUE(orvik::test::waitUntil([&] { return lock.lockedHint() == false; }));
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace orvik::helper
