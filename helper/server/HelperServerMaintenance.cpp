#include "server/HelperServer.hpp"

#include "server/HelperServerInternals.hpp"

#include <algorithm>

namespace orvik::helper {

asio::awaitable<void> HelperServer::maintenanceLoop(std::weak_ptr<HelperServer> weakServer,
                                                    std::shared_ptr<MaintenanceTask> task) {
    for (;;) {
        if (task->cancelled) co_return;
        task->timer.expires_after(maintenanceInterval);
        std::error_code ignored;
        co_await task->timer.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
        if (task->cancelled) co_return;
        auto server = weakServer.lock();
        if (!server || !server->runMaintenance()) co_return;
    }
}

void HelperServer::ensureMaintenance() {
    if (maintenanceTask_) return;
    maintenanceTask_ = std::make_shared<MaintenanceTask>(executor_);
    // Holds the server weakly: releasing the server ends the loop at its next wake-up.
    asio::co_spawn(executor_, maintenanceLoop(weak_from_this(), maintenanceTask_), asio::detached);
}

bool HelperServer::runMaintenance() {
    const double now = clock_();
    std::vector<std::pair<Uuid, Session>> snapshot(sessions_.begin(), sessions_.end());
    for (const auto& [id, session] : snapshot) {
        if (std::holds_alternative<Session::AwaitingApproval>(session.stage)) {
            if (now - session.openedAt > approvalTimeout) {
                closeAfterSending(ErrorMessage{ErrorCode::pairingDenied, "approval timeout", std::nullopt}, id);
            }
        } else if (!session.deviceID()) {
            if (now - session.openedAt > handshakeTimeout) {
                closeAfterSending(ErrorMessage{ErrorCode::unauthorized, "handshake timeout", std::nullopt}, id);
            }
        } else if (now - session.lastActivity > idleTimeout) {
            endSession(id);
        }
    }
    const bool anyAuthenticated = std::any_of(sessions_.begin(), sessions_.end(),
                                              [](const auto& entry) { return entry.second.deviceID().has_value(); });
    if (anyAuthenticated) pushStatusIfChanged(false);
    repeatedLines_.flush();
    if (sessions_.empty()) {
        maintenanceTask_ = nullptr;
        return false;
    }
    return true;
}

void HelperServer::stopMaintenanceIfIdle() {
    if (!sessions_.empty()) return;
    if (maintenanceTask_) maintenanceTask_->cancel();
    maintenanceTask_ = nullptr;
    lastPushedStatus_.reset();
}

} // namespace orvik::helper
