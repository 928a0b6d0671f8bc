#include "server/PairingFlow.hpp"

#include "core/BootTimer.hpp"
#include "core/CallbackAwait.hpp"
#include "core/Log.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "server/PairingNames.hpp"

#include <algorithm>

namespace orvik::helper {

namespace {

asio::awaitable<void> expireAfter(std::shared_ptr<BootTimer> timer, std::function<void(const Uuid&)> expire, Uuid id) {
    co_await timer->wait();
    expire(id);
}

} // namespace

PairingFlow::PairingFlow(Host& host, Configuration configuration)
    : host_(host), executor_(std::move(configuration.executor)), events_(std::move(configuration.events)),
      store_(std::move(configuration.store)), identity_(std::move(configuration.identity)),
      wallClock_(std::move(configuration.wallClock)), lifetime_(configuration.lifetime),
      systemInfo_(std::move(configuration.systemInfo)) {}

std::optional<PairingInfo> PairingFlow::open() {
    auto window = PairingSession::open(identity_.helperID, wallClock_(), lifetime_);
    if (!window) return std::nullopt;
    window_ = std::move(*window);
    host_.pairingKeysChanged();
    auto shown = info(*window_);
    publish(ServerEvent::pairing(shown));
    scheduleExpiry(*window_);
    return shown;
}

void PairingFlow::scheduleExpiry(const PairingSession& window) {
    // Counted on the boot-time clock, so a window whose time ran out during suspend closes on wake. Not kept
    // and never cancelled: it checks the window's identifier when it fires.
    const auto delay = std::max(window.expiresAt() - wallClock_(), Date::duration::zero());
    auto timer = std::make_shared<BootTimer>(executor_, std::chrono::duration_cast<std::chrono::nanoseconds>(delay));
    asio::co_spawn(executor_, expireAfter(std::move(timer), host_.expiryHandler(), window.id()), asio::detached);
}

void PairingFlow::cancel(const Uuid& id) {
    if (window_ && window_->id() == id) cancel();
}

void PairingFlow::cancel() {
    if (!window_) return;
    window_.reset();
    host_.pairingKeysChanged();
    publish(ServerEvent::pairing(std::nullopt));
}

PairingInfo PairingFlow::info(const PairingSession& window) const {
    std::vector<HostPort> addresses;
    if (auto port = host_.listenerPort()) addresses = systemInfo_->reachableAddresses(*port);
    auto code = window.manualCode();
    return PairingInfo{window.id(), window.payload(identity_.macName, addresses).url(),
                       code ? code->formatted() : std::string(), window.expiresAt(), addresses};
}

bool PairingFlow::windowIsOpen() const {
    return window_ && window_->isValid(wallClock_());
}

std::vector<PreSharedKey> PairingFlow::listenerKeys() const {
    // A window that ran out but has not been closed yet offers nothing.
    if (!windowIsOpen()) return {};
    return window_->preSharedKeys();
}

asio::awaitable<void> PairingFlow::handleRequest(PairRequest request, Bytes challenge, Uuid sessionID) {
    const auto address = host_.requesterAddress(sessionID);
    if (!address || !admits(request, challenge, sessionID, *address)) co_return;
    const bool free = co_await identifierIsFree(request.deviceID, sessionID, window_->id());
    if (!free) co_return;

    // The window is used up before the question, so no other phone can pair through it meanwhile.
    cancel();

    PairingApprovalRequest names{PairingNames::sanitized(request.deviceName),
                                 PairingNames::sanitized(request.deviceModel)};
    const bool approved = co_await approves(request.method, names, sessionID);
    if (approved) co_await pair(std::move(request), std::move(names), sessionID, *address);
}

bool PairingFlow::admits(const PairRequest& request, const Bytes& challenge, const Uuid& sessionID,
                         const std::string& address) {
    if (!windowIsOpen()) {
        host_.answerRequester(ErrorMessage{ErrorCode::pairingUnavailable}, sessionID);
        return false;
    }
    if (!window_->verify(request, challenge)) {
        host_.proofFailed(address);
        host_.answerRequester(ErrorMessage{ErrorCode::unauthorized}, sessionID);
        return false;
    }
    return true;
}

asio::awaitable<bool> PairingFlow::identifierIsFree(Uuid deviceID, Uuid sessionID, Uuid windowID) {
    auto lookUp = [store = store_, deviceID](std::function<void(KeyLookup)> done) {
        store->lookupKeyAsync(deviceID, std::move(done));
    };
    const KeyLookup found = co_await awaitResult<KeyLookup>(std::move(lookUp));
    if (!host_.requesterAddress(sessionID)) co_return false;
    switch (found.status) {
    case KeyLookup::Status::notFound: break;
    case KeyLookup::Status::found:
        host_.answerRequester(ErrorMessage{ErrorCode::pairingDenied, "device ID in use"}, sessionID);
        co_return false;
    case KeyLookup::Status::unavailable:
        // The store failed, as when it cannot store: pairing over a device that may exist would lose its key.
        Log::error("Server", "Device keys unavailable");
        host_.answerRequester(ErrorMessage{ErrorCode::internalError}, sessionID);
        co_return false;
    }
    // Another request may have used the window up, or it closed, while the store was asked.
    if (!windowIsOpen() || window_->id() != windowID) {
        host_.answerRequester(ErrorMessage{ErrorCode::pairingUnavailable}, sessionID);
        co_return false;
    }
    co_return true;
}

asio::awaitable<bool> PairingFlow::approves(PairingMethod method, PairingApprovalRequest question, Uuid sessionID) {
    if (host_.pairsScansWithoutAsking() && method == PairingMethod::qrCode) co_return true;

    host_.awaitApproval(sessionID);
    auto ask = [&host = host_, question = std::move(question)](std::function<void(bool)> done) {
        host.askPairingApproval(question, std::move(done));
    };
    const bool approved = co_await awaitResult<bool>(std::move(ask));
    // The session may have ended meanwhile (the approval time-out, the phone, the server): nothing more to do.
    if (!host_.requesterAddress(sessionID)) co_return false;
    if (!approved) host_.answerRequester(ErrorMessage{ErrorCode::pairingDenied}, sessionID);
    co_return approved;
}

asio::awaitable<void> PairingFlow::pair(PairRequest request, PairingApprovalRequest names, Uuid sessionID,
                                        std::string address) {
    auto deviceKey = OrvikKeys::randomBytes(OrvikKeys::deviceKeyLength);
    if (!deviceKey) {
        host_.answerRequester(ErrorMessage{ErrorCode::internalError}, sessionID);
        co_return;
    }
    const auto pairedAt = wallClock_();
    PairedDevice device{request.deviceID, std::move(names.deviceName), std::move(names.deviceModel), pairedAt,
                        pairedAt};
    auto storing = [store = store_, device, key = *deviceKey](std::function<void(std::optional<std::string>)> done) {
        store->addAsync(device, key, std::move(done));
    };
    const auto failure = co_await awaitResult<std::optional<std::string>>(std::move(storing));
    if (failure) {
        Log::error("Server", "Storing device key failed: " + *failure);
        host_.answerRequester(ErrorMessage{ErrorCode::internalError}, sessionID);
        co_return;
    }
    if (!host_.requesterAddress(sessionID)) {
        // The phone left before it got its key: a device it cannot know is not kept.
        store_->remove(device.id);
        Log::info("Server", "Pairing ended: the phone left before it got its key");
        co_return;
    }
    host_.pairedFrom(address);
    host_.pairingKeysChanged();
    host_.answerRequester(
        PairAccepted{std::move(*deviceKey), identity_.helperID, identity_.macName, host_.offeredCapabilities()},
        sessionID);
    publish(ServerEvent::paired(device));
    publish(ServerEvent::devices(store_->devices()));
    Log::info("Server", "Paired a new device");
}

} // namespace orvik::helper
