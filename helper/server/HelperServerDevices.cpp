#include "server/HelperServer.hpp"

#include <algorithm>

namespace orvik::helper {

std::vector<PairedDevice> HelperServer::pairedDevices() const {
    return store_->devices();
}

void HelperServer::removeDevice(const Uuid& deviceID) {
    store_->remove(deviceID);
    const auto& viewers = preferences_.screenViewingDevices;
    if (std::find(viewers.begin(), viewers.end(), deviceID) != viewers.end()) {
        auto preferences = preferences_;
        std::erase(preferences.screenViewingDevices, deviceID);
        storePreferences(std::move(preferences));
    }
    std::vector<Uuid> sessionsOfDevice;
    for (const auto& [id, session] : sessions_) {
        if (session.deviceID() == deviceID) sessionsOfDevice.push_back(id);
    }
    for (const auto& id : sessionsOfDevice) {
        closeAfterSending(ErrorMessage{ErrorCode::deviceRemoved, std::nullopt, std::nullopt}, id);
    }
    restartListener();
    publish(ServerEvent::devices(store_->devices()));
    emitConnections();
}

std::vector<ConnectedDevice> HelperServer::connectedDevices() const {
    std::vector<ConnectedDevice> devices;
    for (const auto& [id, session] : sessions_) {
        auto deviceID = session.deviceID();
        if (session.isScreen || !deviceID) continue;
        devices.push_back(ConnectedDevice{id, *deviceID, session.deviceName, session.address});
    }
    // Plain, case-sensitive ordering of the UTF-8 bytes: the same order as by Unicode scalar value.
    std::stable_sort(devices.begin(), devices.end(),
                     [](const ConnectedDevice& a, const ConnectedDevice& b) { return a.name < b.name; });
    return devices;
}

void HelperServer::emitConnections() {
    publish(ServerEvent::connections(connectedDevices()));
}

asio::awaitable<void> HelperServer::setPaused(bool paused) {
    if (paused == isPaused_) co_return;
    isPaused_ = paused;
    if (paused) input_.releaseAll();
    publish(ServerEvent::paused(paused));
    pushStatusIfChanged(true);
    co_await viewers_.pauseChanged();
}

asio::awaitable<void> HelperServer::updatePreferences(PreferenceChange change) {
    auto preferences = change.appliedTo(preferences_);
    if (preferences == preferences_) co_return;
    const bool viewingWasEnabled = preferences_.screenViewingEnabled;
    storePreferences(std::move(preferences));
    input_.setScrollMode(preferences_.scrollMode);
    if (viewingWasEnabled && !preferences_.screenViewingEnabled) {
        co_await stopAllScreens(ScreenStreamState::notAllowed);
    }
}

void HelperServer::storePreferences(HelperPreferences preferences) {
    preferences_ = std::move(preferences);
    preferencesStore_->save(preferences_);
    publish(ServerEvent::preferences(preferences_));
}

std::int64_t HelperServer::pendingHandshakeCount() const {
    return std::count_if(sessions_.begin(), sessions_.end(),
                         [](const auto& entry) { return !entry.second.deviceID(); });
}

void HelperServer::configureRateLimiter(HandshakeRateLimiter limiter) {
    rateLimiter_ = std::move(limiter);
}

} // namespace orvik::helper
