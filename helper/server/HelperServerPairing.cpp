#include "server/HelperServer.hpp"

#include "core/BootTimer.hpp"
#include "core/CallbackAwait.hpp"
#include "core/Log.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "server/PairingNames.hpp"

#include <algorithm>

namespace orvik::helper {

asio::awaitable<void> HelperServer::handlePairRequest(PairRequest request, Bytes challenge, Uuid sessionID) {
    auto* session = findSession(sessionID);
    if (!session) co_return;
    const std::string address = session->address;

    const auto now = wallClock_();
    if (!pairing_ || !pairing_->isValid(now)) {
        closeAfterSending(ErrorMessage{ErrorCode::pairingUnavailable}, sessionID);
        co_return;
    }
    if (!pairing_->verify(request, challenge)) {
        recordAuthenticationFailure(address);
        closeAfterSending(ErrorMessage{ErrorCode::unauthorized}, sessionID);
        co_return;
    }
    if (store_->lookupKey(request.deviceID).status != KeyLookup::Status::notFound) {
        // Also when the keyring cannot be read: pairing over a device that may exist would lose its key.
        closeAfterSending(ErrorMessage{ErrorCode::pairingDenied, "device ID in use"}, sessionID);
        co_return;
    }

    // The window is used up before the question, so no other phone can pair through it meanwhile.
    pairing_.reset();
    restartListener();
    publish(ServerEvent::pairing(std::nullopt));

    const std::string name = PairingNames::sanitized(request.deviceName);
    const std::string model = PairingNames::sanitized(request.deviceModel);
    const bool approvedWithoutAsking = preferences_.autoAllowOnScan && request.method == PairingMethod::qrCode;
    if (!approvedWithoutAsking) {
        session->stage = Session::AwaitingApproval{};
        PairingApprovalRequest question{name, model};
        const bool approved = co_await askApproval(std::move(question));
        if (!findSession(sessionID)) co_return;
        if (!approved) {
            closeAfterSending(ErrorMessage{ErrorCode::pairingDenied}, sessionID);
            co_return;
        }
    }

    auto deviceKey = OrvikKeys::randomBytes(OrvikKeys::deviceKeyLength);
    if (!deviceKey) {
        closeAfterSending(ErrorMessage{ErrorCode::internalError}, sessionID);
        co_return;
    }
    const auto pairedAt = wallClock_();
    PairedDevice device{request.deviceID, name, model, pairedAt, pairedAt};
    try {
        store_->add(device, *deviceKey);
    } catch (const std::exception&) {
        Log::error("Server", "Storing device key failed");
        closeAfterSending(ErrorMessage{ErrorCode::internalError}, sessionID);
        co_return;
    }
    rateLimiter_.recordSuccess(address);
    restartListener();
    closeAfterSending(PairAccepted{std::move(*deviceKey), identity_.helperID, identity_.macName, capabilities()},
                      sessionID);
    publish(ServerEvent::paired(device));
    publish(ServerEvent::devices(store_->devices()));
    Log::info("Server", "Paired a new device");
}

asio::awaitable<bool> HelperServer::askApproval(PairingApprovalRequest request) {
    auto approve = services_.approvePairing;
    auto ask = [approve, request = std::move(request)](std::function<void(bool)> done) {
        approve(request, std::move(done));
    };
    co_return co_await awaitResult<bool>(std::move(ask));
}

std::optional<PairingInfo> HelperServer::startPairing() {
    auto session = PairingSession::open(identity_.helperID, wallClock_(), pairingLifetime_);
    if (!session) return std::nullopt;
    pairing_ = std::move(*session);
    restartListener();
    auto info = pairingInfo(*pairing_);
    publish(ServerEvent::pairing(info));
    scheduleExpiry(*pairing_);
    return info;
}

namespace {

asio::awaitable<void> expireAfter(std::shared_ptr<BootTimer> timer, std::weak_ptr<HelperServer> weakServer, Uuid id) {
    co_await timer->wait();
    if (auto server = weakServer.lock()) server->expirePairing(id);
}

} // namespace

void HelperServer::scheduleExpiry(const PairingSession& session) {
    // Counted on the boot-time clock, so a window whose time ran out during suspend closes on wake. Not kept
    // and never cancelled: it checks the window's identifier when it fires.
    const auto delay = std::max(session.expiresAt() - wallClock_(), Date::duration::zero());
    auto timer = std::make_shared<BootTimer>(executor_, std::chrono::duration_cast<std::chrono::nanoseconds>(delay));
    asio::co_spawn(executor_, expireAfter(std::move(timer), weak_from_this(), session.id()), asio::detached);
}

void HelperServer::cancelPairing(const Uuid& id) {
    if (pairing_ && pairing_->id() == id) cancelPairing();
}

void HelperServer::cancelPairing() {
    if (!pairing_) return;
    pairing_.reset();
    restartListener();
    publish(ServerEvent::pairing(std::nullopt));
}

PairingInfo HelperServer::pairingInfo(const PairingSession& session) const {
    std::vector<HostPort> addresses;
    if (auto current = port()) addresses = systemInfo_->reachableAddresses(*current);
    auto code = session.manualCode();
    return PairingInfo{session.id(), session.payload(identity_.macName, addresses).url(),
                       code ? code->formatted() : std::string(), session.expiresAt(), addresses};
}

} // namespace orvik::helper
