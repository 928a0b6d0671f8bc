#pragma once

#include "platform/BusConnection.hpp"

#include <chrono>
#include <optional>
#include <string>

namespace orvik::helper {

// systemd-logind's manager and our session on one system-bus connection; every call waits at most `timeout`.
// Whatever asks logind about our session (the lock watcher, the power actions) finds it here, by one rule.
class LogindClient {
public:
    static constexpr const char* service = "org.freedesktop.login1";
    static constexpr const char* managerPath = "/org/freedesktop/login1";
    static constexpr const char* managerInterface = "org.freedesktop.login1.Manager";
    static constexpr const char* sessionInterface = "org.freedesktop.login1.Session";
    static constexpr const char* userInterface = "org.freedesktop.login1.User";
    static constexpr const char* lockedHintProperty = "LockedHint";

    struct Session {
        std::string id;
        std::string path;
    };

    LogindClient(BusConnection& bus, std::chrono::milliseconds timeout) : bus_(bus), timeout_(timeout) {}

    // Our session: the one $XDG_SESSION_ID names (pam_systemd sets it for the session's processes), else this
    // process's, else the user's display session (for a process started outside any session, by the user's
    // service manager for instance).
    std::optional<Session> ownSession();
    BusReply callManager(const std::string& method, std::vector<BusArgument> arguments);
    std::optional<bool> lockedHint(const Session& session);

private:
    std::optional<std::string> sessionPath();

    BusConnection& bus_;
    std::chrono::milliseconds timeout_;
};

} // namespace orvik::helper
