#include "platform/SessionLock.hpp"

#include "platform/X11Display.hpp"

#include <X11/extensions/scrnsaver.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-login.h>

#include <cstdint>
#include <cstdlib>

namespace orvik::helper {
namespace {

constexpr const char* logindService = "org.freedesktop.login1";
constexpr const char* logindPath = "/org/freedesktop/login1";
constexpr const char* managerInterface = "org.freedesktop.login1.Manager";
constexpr const char* sessionInterface = "org.freedesktop.login1.Session";
// The answer feeds a status push; a bus that does not answer within this is taken as no answer.
constexpr std::uint64_t callTimeoutMicroseconds = 500'000;

// Our own session: the one the environment names (pam_systemd sets it for the session's processes), else the
// one of this process, else logind's "auto" (the caller's session or its display's).
std::string ownSessionID() {
    if (const char* fromEnvironment = std::getenv("XDG_SESSION_ID"); fromEnvironment && *fromEnvironment) {
        return fromEnvironment;
    }
    char* session = nullptr;
    if (sd_pid_get_session(0, &session) >= 0 && session) {
        std::string id(session);
        std::free(session);
        return id;
    }
    return "auto";
}

} // namespace

SessionLock::SessionLock() = default;

SessionLock::~SessionLock() {
    if (bus_) sd_bus_flush_close_unref(bus_);
}

bool SessionLock::isLocked(X11Display* display) {
    if (logindLockedHint().value_or(false)) return true;
    return display && screenSaverActive(*display).value_or(false);
}

std::optional<std::string> SessionLock::sessionPath() {
    if (!bus_) {
        if (sd_bus_open_system(&bus_) < 0) {
            bus_ = nullptr;
            return std::nullopt;
        }
        sd_bus_set_method_call_timeout(bus_, callTimeoutMicroseconds);
    }
    if (!sessionPath_.empty()) return sessionPath_;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    auto id = ownSessionID();
    int result = sd_bus_call_method(bus_, logindService, logindPath, managerInterface, "GetSession", &error, &reply,
                                    "s", id.c_str());
    const char* path = nullptr;
    if (result >= 0 && sd_bus_message_read(reply, "o", &path) >= 0 && path) sessionPath_ = path;
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    if (sessionPath_.empty()) return std::nullopt;
    return sessionPath_;
}

std::optional<bool> SessionLock::logindLockedHint() {
    std::lock_guard lock(mutex_);
    auto path = sessionPath();
    if (!path) return std::nullopt;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int locked = 0;
    int result = sd_bus_get_property_trivial(bus_, logindService, path->c_str(), sessionInterface, "LockedHint", &error,
                                             'b', &locked);
    sd_bus_error_free(&error);
    if (result < 0) {
        // The session may have gone, or the bus connection with it: look both up again next time.
        sessionPath_.clear();
        sd_bus_flush_close_unref(bus_);
        bus_ = nullptr;
        return std::nullopt;
    }
    return locked != 0;
}

std::optional<bool> SessionLock::screenSaverActive(X11Display& display) {
    if (display.isBroken()) return std::nullopt;
    int eventBase = 0;
    int errorBase = 0;
    if (!XScreenSaverQueryExtension(display.get(), &eventBase, &errorBase)) return std::nullopt;
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    if (!info) return std::nullopt;
    std::optional<bool> active;
    if (XScreenSaverQueryInfo(display.get(), display.root(), info)) active = info->state == ScreenSaverOn;
    XFree(info);
    return active;
}

} // namespace orvik::helper
