#include "platform/SessionLock.hpp"

#include "WaitUntil.hpp"

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <csignal>
#include <cstdlib>
#include <mutex>
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

// Stops and continues the mock logind: stopped, it answers no call.
void pauseLogind(bool paused) {
    const char* pid = std::getenv("ORVIK_LOGIND_MOCK_PID");
    ASSERT_NE(pid, nullptr);
    kill(std::atoi(pid), paused ? SIGSTOP : SIGCONT);
}

TEST(SessionLockTest, followsLogindsSignalsAndAnswersFromWhatItLastHeard) {
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
    std::lock_guard guard(mutex);
    EXPECT_EQ(heard, (std::vector<bool>{false, true, false}));
}

} // namespace
} // namespace orvik::helper
