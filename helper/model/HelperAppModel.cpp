#include "model/HelperAppModel.hpp"

#include "core/Log.hpp"

#include <asio.hpp>

#include <algorithm>
#include <utility>

namespace orvik::helper {

namespace {

constexpr std::string_view logCategory = "App";

// Server operations run as coroutines on the server's thread; each takes the server by value so it outlives them.
asio::awaitable<void> setPausedOn(std::shared_ptr<HelperServer> server, bool paused) {
    co_await server->setPaused(paused);
}

asio::awaitable<void> updatePreferencesOn(std::shared_ptr<HelperServer> server, PreferenceChange change) {
    co_await server->updatePreferences(std::move(change));
}

asio::awaitable<void> stopAllScreensOn(std::shared_ptr<HelperServer> server) {
    co_await server->stopAllScreens(ScreenStreamState::notAllowed);
}

bool containsDevice(const std::vector<ConnectedDevice>& list, const Uuid& deviceID) {
    return std::any_of(list.begin(), list.end(),
                       [&](const ConnectedDevice& entry) { return entry.deviceID == deviceID; });
}

template <class T> bool assign(T& field, T value) {
    if (field == value) return false;
    field = std::move(value);
    return true;
}

} // namespace

HelperAppModel::HelperAppModel(Parts parts) : parts_(std::move(parts)) {}

HelperAppModel::~HelperAppModel() {
    parts_.server->events()->setWake(nullptr);
    if (parts_.sleepTimer) parts_.sleepTimer->setObserver(nullptr);
    parts_.hotKey->setOnPress(nullptr);
}

std::shared_ptr<HelperAppModel> HelperAppModel::create(Parts parts) {
    std::shared_ptr<HelperAppModel> model(new HelperAppModel(std::move(parts)));
    auto& self = *model;
    std::weak_ptr<HelperAppModel> weakModel = model;
    auto mainThread = self.parts_.mainThread;

    self.canPostEvents_ = self.parts_.permission.isGranted();
    self.canCaptureScreen_ = self.parts_.screenPermission.isGranted();
    // The server loads the same store itself, so nothing is sent for this first value; what it stores later comes
    // as events.
    self.preferences_ = self.parts_.preferencesStore->load();

    if (self.parts_.sleepTimer) {
        self.sleepTimer_ = self.parts_.sleepTimer->scheduled();
        self.parts_.sleepTimer->setObserver([weakModel, mainThread](std::optional<SleepTimer::Scheduled> scheduled) {
            mainThread([weakModel, scheduled] {
                if (auto strong = weakModel.lock(); strong && assign(strong->sleepTimer_, scheduled)) strong->changed();
            });
        });
    }
    self.parts_.hotKey->setOnPress([weakModel] {
        if (auto strong = weakModel.lock()) strong->togglePause();
    });
    self.parts_.hotKey->setEnabled(self.preferences_.pauseHotKeyEnabled);

    self.observeServer();
    if (self.onboardingCompleted()) self.startServer();
    return model;
}

std::size_t HelperAppModel::addObserver(Observer observer) {
    auto token = nextObserverToken_++;
    observers_.emplace(token, std::move(observer));
    return token;
}

void HelperAppModel::removeObserver(std::size_t token) {
    observers_.erase(token);
}

void HelperAppModel::changed() {
    // An observer may add or remove observers (a window closing itself), so walk a copy.
    auto observers = observers_;
    for (auto& [token, observer] : observers) {
        if (observers_.contains(token)) observer();
    }
}

// Server events.

void HelperAppModel::observeServer() {
    std::weak_ptr<HelperAppModel> weakModel = weak_from_this();
    auto mainThread = parts_.mainThread;
    parts_.server->events()->setWake([weakModel, mainThread] {
        mainThread([weakModel] {
            if (auto strong = weakModel.lock()) strong->drainEvents();
        });
    });
}

// Observers hear once after all the events that were waiting: a phone's connection publishes its session and its
// device's last-seen date together, and the tray should not redraw for each.
void HelperAppModel::drainEvents() {
    auto events = parts_.server->events();
    bool didChange = false;
    while (auto event = events->next()) {
        didChange = apply(*event) || didChange;
    }
    if (didChange) changed();
}

bool HelperAppModel::apply(const ServerEvent& event) {
    bool didChange = false;
    if (auto* status = event.get<ServerEvent::ListenerStatusChanged>()) {
        didChange = assign(listenerStatus_, status->status);
    } else if (auto* connections = event.get<ServerEvent::Connections>()) {
        std::vector<std::string> newcomers;
        for (const auto& device : connections->devices) {
            if (!containsDevice(connections_, device.deviceID)) newcomers.push_back(device.name);
        }
        didChange = assign(connections_, connections->devices);
        if (connections_.empty() && parts_.overlay) parts_.overlay(OverlayMode::off);
        if (preferences_.showConnectionNotifications) {
            for (const auto& name : newcomers) parts_.notifications->notifyConnected(name, menuPlace_);
        }
    } else if (auto* pairing = event.get<ServerEvent::Pairing>()) {
        ++pairingEventsApplied_;
        didChange = assign(pairing_, pairing->info);
    } else if (auto* paired = event.get<ServerEvent::Paired>()) {
        didChange = assign(lastPairedDevice_, std::optional<PairedDevice>(paired->device));
    } else if (auto* devices = event.get<ServerEvent::Devices>()) {
        didChange = assign(pairedDevices_, devices->devices);
    } else if (auto* paused = event.get<ServerEvent::Paused>()) {
        didChange = assign(isPaused_, paused->paused);
    } else if (auto* viewers = event.get<ServerEvent::ScreenViewers>()) {
        didChange = assign(screenViewers_, viewers->viewers);
    } else if (auto* stored = event.get<ServerEvent::Preferences>()) {
        didChange = showPublished(stored->preferences);
    }
    return didChange;
}

// Derived values.

HelperAppModel::MenuStatus HelperAppModel::menuStatus() const {
    using Kind = MenuStatus::Kind;
    if (!canPostEvents_) return {Kind::needsPermission, {}};
    if (isPaused_) return {Kind::paused, {}};
    if (listenerStatus_.get<ListenerStatus::Ready>()) {
        if (connections_.empty()) return {Kind::ready, {}};
        MenuStatus status{Kind::connected, {}};
        for (const auto& device : connections_) status.names.push_back(device.name);
        return status;
    }
    if (listenerStatus_.get<ListenerStatus::Failed>()) return {Kind::failed, {}};
    if (listenerStatus_.get<ListenerStatus::LocalNetworkDenied>()) return {Kind::localNetworkBlocked, {}};
    return {serverStarted_ ? Kind::starting : Kind::ready, {}};
}

MenuBarGlyphState HelperAppModel::glyphState() const {
    if (!canPostEvents_ || isPaused_) return MenuBarGlyphState::slashed;
    if (!screenViewers_.empty()) return MenuBarGlyphState::viewing;
    if (connections_.empty()) return MenuBarGlyphState::idle;
    return MenuBarGlyphState::connected;
}

std::vector<HostPort> HelperAppModel::addresses() const {
    auto port = listenerStatus_.readyPort();
    if (!port || !parts_.systemInfo) return {};
    return parts_.systemInfo->reachableAddresses(*port);
}

void HelperAppModel::setMenuPlace(MenuPlace place) {
    if (assign(menuPlace_, place)) changed();
}

bool HelperAppModel::permissionWasLost() const {
    return parts_.permission.wasLost();
}

std::vector<std::string> HelperAppModel::screenViewingDeviceNames() const {
    std::vector<std::string> names;
    const auto& allowed = preferences_.screenViewingDevices;
    for (const auto& device : pairedDevices_) {
        if (std::find(allowed.begin(), allowed.end(), device.id) != allowed.end()) names.push_back(device.name);
    }
    return names;
}

bool HelperAppModel::launchesAtLogin() const {
    return parts_.loginItem->isEnabled();
}

void HelperAppModel::setLaunchesAtLogin(bool enabled) {
    if (auto failure = parts_.loginItem->setEnabled(enabled)) {
        Log::error(logCategory, "Launch at login change failed: " + *failure);
    }
}

bool HelperAppModel::onboardingCompleted() const {
    return parts_.defaults->boolean(onboardingCompletedKey).value_or(false);
}

void HelperAppModel::setOnboardingCompleted(bool completed) {
    parts_.defaults->setBoolean(onboardingCompletedKey, completed);
}

// Preferences.

// The server owns the record and changes it of its own accord too (a viewer always allowed, a device removed).
// Only the changed field goes to the server, never the whole record as shown here, which may predate the server's
// own changes; what the server then stores comes back as a preferences event. The server publishes its record
// before it finishes a change, and both reach this thread in that order, so a change is let go of only once the
// record holding it has been shown.
void HelperAppModel::setPreference(PreferenceChange change) {
    if (!showPreferences(change.appliedTo(preferences_))) return;
    changed();
    const auto number = ++preferenceChangesMade_;
    unfinishedChanges_.emplace_back(number, change);
    auto done = [weakModel = weak_from_this(), mainThread = parts_.mainThread, number](std::exception_ptr) {
        mainThread([weakModel, number] {
            if (auto strong = weakModel.lock()) strong->preferenceChangeDone(number);
        });
    };
    asio::co_spawn(parts_.server->executor(), updatePreferencesOn(parts_.server, std::move(change)), std::move(done));
}

bool HelperAppModel::showPublished(HelperPreferences published) {
    for (const auto& [number, change] : unfinishedChanges_) change.applyTo(published);
    return showPreferences(std::move(published));
}

void HelperAppModel::preferenceChangeDone(std::uint64_t number) {
    std::erase_if(unfinishedChanges_, [number](const auto& entry) { return entry.first == number; });
}

bool HelperAppModel::showPreferences(HelperPreferences preferences) {
    if (preferences == preferences_) return false;
    const bool hotKeyChanged = preferences.pauseHotKeyEnabled != preferences_.pauseHotKeyEnabled;
    preferences_ = std::move(preferences);
    if (hotKeyChanged) parts_.hotKey->setEnabled(preferences_.pauseHotKeyEnabled);
    return true;
}

// Actions.

void HelperAppModel::togglePause() {
    setPaused(!isPaused_);
}

void HelperAppModel::setPaused(bool paused) {
    if (assign(isPaused_, paused)) changed();
    asio::co_spawn(parts_.server->executor(), setPausedOn(parts_.server, paused), asio::detached);
}

void HelperAppModel::startServer() {
    if (serverStarted_) return;
    serverStarted_ = true;
    changed();
    asio::post(parts_.server->executor(), [server = parts_.server] { server->start(); });
}

void HelperAppModel::refreshPermission() {
    if (assign(canPostEvents_, parts_.permission.isGranted())) changed();
}

void HelperAppModel::requestPermission() {
    bool askedBefore = parts_.permission.hasRequestedBefore();
    if (assign(canPostEvents_, parts_.permission.request())) changed();
    if (!canPostEvents_ && askedBefore) openLink(SystemSettingsLink::accessibility());
}

void HelperAppModel::startPairing(std::function<void(const std::optional<PairingInfo>&)> opened) {
    startServer();
    // A reply is stale when a pairing event was applied after this request: that event is newer than the reply.
    auto apply = [weakModel = weak_from_this(), eventsBeforeRequest = pairingEventsApplied_,
                  opened = std::move(opened)](const std::optional<PairingInfo>& info) {
        auto strong = weakModel.lock();
        if (!strong) return;
        if (strong->pairingEventsApplied_ == eventsBeforeRequest && assign(strong->pairing_, info)) strong->changed();
        if (opened) opened(info);
    };
    asio::post(parts_.server->executor(),
               [server = parts_.server, mainThread = parts_.mainThread, apply = std::move(apply)] {
                   mainThread([apply, info = server->startPairing()] { apply(info); });
               });
}

void HelperAppModel::cancelPairing() {
    asio::post(parts_.server->executor(), [server = parts_.server] { server->cancelPairing(); });
}

void HelperAppModel::cancelPairing(const Uuid& sessionID) {
    asio::post(parts_.server->executor(), [server = parts_.server, sessionID] { server->cancelPairing(sessionID); });
}

void HelperAppModel::countPairingView(bool shown) {
    if (shown) {
        ++pairingViewsShown_;
    } else if (pairingViewsShown_ > 0) {
        --pairingViewsShown_;
    }
}

void HelperAppModel::remove(const PairedDevice& device) {
    asio::post(parts_.server->executor(), [server = parts_.server, id = device.id] { server->removeDevice(id); });
}

void HelperAppModel::setScreenViewingEnabled(bool enabled) {
    setPreference({&HelperPreferences::screenViewingEnabled, enabled});
    if (enabled && !canCaptureScreen_) {
        if (assign(canCaptureScreen_, parts_.screenPermission.request())) changed();
    }
}

void HelperAppModel::refreshScreenPermission() {
    if (assign(canCaptureScreen_, parts_.screenPermission.isGranted())) changed();
}

void HelperAppModel::stopScreenViewing() {
    asio::co_spawn(parts_.server->executor(), stopAllScreensOn(parts_.server), asio::detached);
}

void HelperAppModel::forgetScreenViewingDevices() {
    setPreference({&HelperPreferences::screenViewingDevices, {}});
}

void HelperAppModel::cancelSleepTimer() {
    if (parts_.sleepTimer) parts_.sleepTimer->cancel();
    asio::post(parts_.server->executor(), [server = parts_.server] { server->pushStatusIfChanged(true); });
}

void HelperAppModel::runSelfTest() {
    if (!canPostEvents_) {
        requestPermission();
        return;
    }
    if (parts_.drawSelfTestCircle) parts_.drawSelfTestCircle();
}

void HelperAppModel::shutDown(std::function<void()> done) {
    auto mainThread = parts_.mainThread;
    asio::post(parts_.server->executor(), [server = parts_.server, mainThread, done = std::move(done)] {
        server->stop();
        mainThread(done);
    });
}

void HelperAppModel::openLink(const std::optional<std::string>& url) const {
    if (url && parts_.openURL) parts_.openURL(*url);
}

std::string HelperAppModel::localizedName(PowerAction action) {
    switch (action) {
    case PowerAction::lock: return "Lock";
    case PowerAction::displaySleep: return "Display sleep";
    case PowerAction::sleep: return "Sleep";
    case PowerAction::restart: return "Restart";
    case PowerAction::shutDown: return "Shut down";
    case PowerAction::logOut: return "Log out";
    }
    return "Sleep";
}

} // namespace orvik::helper
