#include "server/HelperServer.hpp"

#include "server/SystemControlling.hpp"

#include <algorithm>

namespace orvik::helper {

HelperStatus HelperServer::currentStatus() const {
    HelperStatus status;
    status.secureInputActive = sink_->isSecureInputEnabled();
    status.displayCount = std::max<std::int64_t>(1, static_cast<std::int64_t>(sink_->displayBounds().size()));
    status.isPaused = isPaused_;
    status.canControl = services_.canPostEvents();
    if (services_.system) services_.system->fill(status);
    return status;
}

void HelperServer::pushStatusIfChanged(bool force) {
    auto status = currentStatus();
    if (!force && lastPushedStatus_ && *lastPushedStatus_ == status) return;
    lastPushedStatus_ = status;
    broadcast(status);
}

void HelperServer::broadcast(const OrvikMessage& message) {
    const Frame frame = frameFor(message);
    for (const auto& [id, session] : sessions_) {
        if (session.deviceID()) session.connection->sendFrame(frame);
    }
}

} // namespace orvik::helper
