#include "platform/LogindClient.hpp"

#include <unistd.h>

#include <cstdlib>

namespace orvik::helper {

BusReply LogindClient::callManager(const std::string& method, std::vector<BusArgument> arguments) {
    return bus_.call({service, managerPath, managerInterface, method, std::move(arguments)}, timeout_);
}

std::optional<std::string> LogindClient::sessionPath() {
    if (const char* id = std::getenv("XDG_SESSION_ID"); id && *id) {
        if (auto path = BusConnection::objectPath(callManager("GetSession", {std::string(id)}))) return path;
    }
    if (auto path = BusConnection::objectPath(callManager("GetSessionByPID", {static_cast<std::uint32_t>(getpid())}))) {
        return path;
    }
    auto user = BusConnection::objectPath(callManager("GetUser", {static_cast<std::uint32_t>(getuid())}));
    if (!user) return std::nullopt;
    return bus_.pathOfPairProperty({service, *user, userInterface, "Display"}, timeout_);
}

std::optional<LogindClient::Session> LogindClient::ownSession() {
    auto path = sessionPath();
    if (!path) return std::nullopt;
    auto id = bus_.stringProperty({service, *path, sessionInterface, "Id"}, timeout_);
    if (!id || id->empty()) return std::nullopt;
    return Session{*id, *path};
}

std::optional<bool> LogindClient::lockedHint(const Session& session) {
    return bus_.boolProperty({service, session.path, sessionInterface, lockedHintProperty}, timeout_);
}

} // namespace orvik::helper
