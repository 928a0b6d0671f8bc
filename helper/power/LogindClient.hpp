#pragma once

#include "power/BusConnection.hpp"

#include <chrono>
#include <optional>
#include <string>

namespace orvik::helper {

// systemd-logind's manager and our session on one system-bus connection; every call waits at most `timeout`.
class LogindClient {
public:
    struct Session {
        std::string id;
        std::string path;
    };

    LogindClient(BusConnection& bus, std::chrono::milliseconds timeout) : bus_(bus), timeout_(timeout) {}

    // Our session: the one $XDG_SESSION_ID names, else this process's, else the user's display session.
    std::optional<Session> ownSession();
    BusReply callManager(const std::string& method, std::vector<BusArgument> arguments);
    std::optional<bool> lockedHint(const Session& session);

private:
    std::optional<std::string> sessionPath();

    BusConnection& bus_;
    std::chrono::milliseconds timeout_;
};

} // namespace orvik::helper
