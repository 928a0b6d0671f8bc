#include "server/HelperServer.hpp"

#include "core/Log.hpp"
#include "core/LoopPresence.hpp"
#include "server/HelperServerInternals.hpp"

namespace orvik::helper {

namespace {

std::vector<std::shared_ptr<PasteboardAccess>> pasteTargets(std::shared_ptr<PasteboardAccess> clipboard,
                                                            std::shared_ptr<PasteboardAccess> primarySelection) {
    std::vector<std::shared_ptr<PasteboardAccess>> targets{std::move(clipboard)};
    if (primarySelection) targets.push_back(std::move(primarySelection));
    return targets;
}

} // namespace

std::optional<Uuid> HelperServer::Session::deviceID() const {
    if (auto* authenticated = std::get_if<Authenticated>(&stage)) return authenticated->deviceID;
    return std::nullopt;
}

std::shared_ptr<HelperServer> HelperServer::create(asio::any_io_executor executor, Configuration configuration) {
    return std::shared_ptr<HelperServer>(new HelperServer(std::move(executor), std::move(configuration)));
}

HelperServer::HelperServer(asio::any_io_executor executor, Configuration configuration)
    : executor_(std::move(executor)), events_(std::make_shared<EventStream<ServerEvent>>(eventCapacity)),
      store_(std::move(configuration.store)), preferencesStore_(std::move(configuration.preferencesStore)),
      sink_(std::move(configuration.sink)), pasteboard_(std::move(configuration.pasteboard)),
      listener_(ListenerController::make(executor_, configuration.listenerOptions, configuration.defaults,
                                         std::move(configuration.makeAdvertiser))),
      clock_(std::move(configuration.clock)), wallClock_(std::move(configuration.wallClock)),
      systemInfo_(std::move(configuration.systemInfo)), keyLoadWait_(configuration.keyLoadWait),
      identity_(std::move(configuration.identity)), preferences_(preferencesStore_->load()),
      services_(std::move(configuration.services)), input_(sink_, clock_),
      pairing_(*this, {executor_, events_, store_, identity_, wallClock_, configuration.pairingLifetime, systemInfo_}),
      pasteFlow_(executor_, pasteTargets(pasteboard_, std::move(configuration.primarySelection)),
                 configuration.pasteRestoreDelay,
                 [this] {
                     if (canInject()) input_.key(PasteFlow::pasteKeys);
                 }),
      viewers_(*this), repeatedLines_(LogLimiter::defaultInterval, clock_), floodMemory_(executor_) {
    // The stored scroll mode applies from the start, not only after the first preferences change.
    input_.setScrollMode(preferences_.scrollMode);
}

HelperServer::~HelperServer() {
    // The store may outlive the server and its thread.
    if (store_) store_->setKeysChangedHandler({});
}

HelperServer::Session* HelperServer::findSession(const Uuid& id) {
    auto found = sessions_.find(id);
    return found == sessions_.end() ? nullptr : &found->second;
}

const HelperServer::Session* HelperServer::findSession(const Uuid& id) const {
    auto found = sessions_.find(id);
    return found == sessions_.end() ? nullptr : &found->second;
}

void HelperServer::publish(ServerEvent event) {
    events_->publish(std::move(event));
}

void HelperServer::start() {
    if (isRunning_) return;
    isRunning_ = true;
    std::weak_ptr<HelperServer> weakSelf = weak_from_this();
    listener_->onConnection = [weakSelf](IncomingConnection connection) {
        if (auto self = weakSelf.lock()) self->acceptConnection(std::move(connection));
    };
    listener_->onStatus = [weakSelf](ListenerStatus status) {
        if (auto self = weakSelf.lock()) self->listenerStatusChanged(std::move(status));
    };
    // The pairing window's addresses name the host as the mDNS daemon publishes it (renamed on a conflict).
    listener_->onAdvertisedHostName = [info = systemInfo_](std::optional<std::string> hostName) {
        info->setAdvertisedHostName(std::move(hostName));
    };
    // Keys the store loads in the background reach the listener once they are there.
    // From the store's threads, which may outlive this loop at exit.
    store_->setKeysChangedHandler([weakSelf, executor = executor_, loop = LoopPresence::of(executor_)] {
        loop->post(executor, [weakSelf] {
            if (auto self = weakSelf.lock()) self->restartListener();
        });
    });
    restartListener();
    publish(ServerEvent::devices(store_->devices()));
}

void HelperServer::stop() {
    isRunning_ = false;
    listener_->stop();
    std::vector<Uuid> ids;
    for (const auto& [id, session] : sessions_) ids.push_back(id);
    for (const auto& id : ids) endSession(id);
    if (maintenanceTask_) maintenanceTask_->cancel();
    maintenanceTask_ = nullptr;
    // What the store keeps for a later save (lastSeen dates) goes to disk before the application quits.
    store_->flush();
}

std::optional<std::uint16_t> HelperServer::port() const {
    return listener_->port();
}

void HelperServer::restartListener() {
    if (!isRunning_) return;
    // Asked before the keys are taken: a load that ends in between calls the keys-changed handler, which comes back.
    const bool loaded = store_->keysLoaded();
    auto keys = store_->sessionKeys();
    auto windowKeys = pairing_.listenerKeys();
    keys.insert(keys.end(), windowKeys.begin(), windowKeys.end());
    listener_->start(std::move(keys), identity_.txtRecord());
    if (loaded && !keysLoaded_) keysArrived();
}

void HelperServer::listenerStatusChanged(ListenerStatus status) {
    listenerStatus_ = status;
    publish(ServerEvent::listenerStatus(std::move(status)));
}

void HelperServer::setServices(HelperServices services) {
    services_ = std::move(services);
}

} // namespace orvik::helper
