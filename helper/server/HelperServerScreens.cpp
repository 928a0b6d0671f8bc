#include "server/HelperServer.hpp"

#include "core/LoopPresence.hpp"

namespace orvik::helper {

asio::awaitable<void> HelperServer::stopAllScreens(ScreenStreamState state) {
    co_await viewers_.stopAll(state);
}

void HelperServer::emitScreenViewers() {
    publish(ServerEvent::screenViewers(viewers_.viewers()));
}

std::optional<ScreenViewers::Host::Viewing> HelperServer::viewingSession(const Uuid& sessionID) const {
    auto* session = findSession(sessionID);
    if (!session) return std::nullopt;
    // The stream sends from its own threads, straight to the connection, which it keeps for its life.
    auto send = [connection = session->connection](OrvikMessage message) { connection->send(std::move(message)); };
    return Viewing{session->deviceName, session->address, std::move(send)};
}

void HelperServer::markScreenSession(const Uuid& sessionID) {
    if (auto* session = findSession(sessionID)) session->isScreen = true;
    emitConnections();
}

void HelperServer::allowViewerAlways(const Uuid& deviceID) {
    auto preferences = preferences_;
    preferences.screenViewingDevices.push_back(deviceID);
    storePreferences(std::move(preferences));
}

ScreenStream::FailureHandler HelperServer::captureFailureHandler(const Uuid& sessionID) {
    return [weakSelf = weak_from_this(), executor = executor_, loop = LoopPresence::of(executor_),
            sessionID](ScreenCaptureFailure failure) {
        loop->post(executor, [weakSelf, sessionID, failure] {
            auto self = weakSelf.lock();
            if (!self) return;
            asio::co_spawn(self->executor_, self->reportCaptureFailure(sessionID, failure), asio::detached);
        });
    };
}

asio::awaitable<void> HelperServer::reportCaptureFailure(Uuid sessionID, ScreenCaptureFailure failure) {
    // The viewers belong to the server: it must outlive the report.
    auto self = shared_from_this();
    co_await viewers_.captureFailed(sessionID, failure);
}

} // namespace orvik::helper
