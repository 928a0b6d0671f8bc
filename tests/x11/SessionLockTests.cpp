#include "platform/SessionLock.hpp"

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <cstdlib>

namespace orvik::helper {
namespace {

// Runs against the mock logind of run-with-logind-mock, which holds our session "c1".
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

TEST(SessionLockTest, followsLogindsLockedHintOfOurSession) {
    SessionLock lock;
    EXPECT_EQ(lock.logindLockedHint(), false);
    EXPECT_FALSE(lock.isLocked(nullptr));
    setLockedHint(true);
    EXPECT_EQ(lock.logindLockedHint(), true);
    EXPECT_TRUE(lock.isLocked(nullptr));
    setLockedHint(false);
    EXPECT_EQ(lock.logindLockedHint(), false);
}

TEST(SessionLockTest, anUnknownSessionOrNoLogindGivesNoAnswer) {
    setenv("XDG_SESSION_ID", "no-such-session", 1);
    SessionLock unknown;
    EXPECT_EQ(unknown.logindLockedHint(), std::nullopt);

    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/orvik-test-bus", 1);
    SessionLock noBus;
    EXPECT_EQ(noBus.logindLockedHint(), std::nullopt);
    EXPECT_FALSE(noBus.isLocked(nullptr));
}

} // namespace
} // namespace orvik::helper
