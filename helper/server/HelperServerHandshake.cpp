#include "server/HelperServer.hpp"

#include "core/Log.hpp"
#include "orvik/protocol/coding/ProtocolVersion.hpp"
#include "orvik/protocol/coding/VersionNegotiation.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "server/SystemControlling.hpp"

#include <algorithm>

namespace orvik::helper {

namespace {

// What this computer speaks; written into every helloAck.
constexpr std::uint16_t currentVersion = 1;
constexpr std::uint16_t minimumVersion = 1;

constexpr std::string_view unknownDeviceName = "iPhone";

} // namespace

Capabilities HelperServer::capabilities() const {
    Capabilities offered = Capabilities::pointer | Capabilities::pointerAbsolute | Capabilities::keyboard |
                           Capabilities::textPaste | Capabilities::scrollPhases;
    if (services_.system) offered = offered | services_.system->capabilities();
    if (services_.screen) {
        offered = offered | Capabilities::screenStream;
        const auto& codecs = services_.screen->codecs;
        if (std::find(codecs.begin(), codecs.end(), ScreenCodec::hevc) != codecs.end()) {
            offered = offered | Capabilities::screenHEVC;
        }
    }
    return offered;
}

bool HelperServer::identityAllows(const Session& session, const OrvikMessage& message) const {
    const auto& offered = session.connection->pskIdentity();
    if (!offered) return false;
    if (auto* authenticate = message.get<Authenticate>())
        return *offered == OrvikKeys::sessionIdentity(authenticate->deviceID);
    if (message.get<PairRequest>()) {
        return *offered == OrvikKeys::qrPairingIdentity(identity_.helperID) ||
               *offered == OrvikKeys::manualPairingIdentity;
    }
    return true;
}

void HelperServer::handleHello(const Hello& hello, const Uuid& sessionID) {
    auto negotiation =
        VersionNegotiation::negotiate(currentVersion, minimumVersion, hello.protocolVersion, hello.minimumSupported);
    if (negotiation.outcome() == VersionNegotiation::Outcome::peerTooOld) {
        closeAfterSending(ErrorMessage{ErrorCode::appTooOld}, sessionID);
        return;
    }
    auto challenge = OrvikKeys::randomBytes(OrvikKeys::challengeLength);
    if (!challenge) {
        closeAfterSending(ErrorMessage{ErrorCode::internalError}, sessionID);
        return;
    }
    if (auto* session = findSession(sessionID)) session->stage = Session::AwaitingProof{*challenge};

    HelloAck ack;
    ack.protocolVersion = currentVersion;
    ack.minimumSupported = minimumVersion;
    ack.helperVersion = identity_.helperVersion;
    ack.helperID = identity_.helperID;
    ack.macName = identity_.macName;
    ack.model = identity_.model;
    ack.capabilities = capabilities();
    ack.macAddress = identity_.macAddress;
    ack.challenge = std::move(*challenge);
    send(std::move(ack), sessionID);
}

void HelperServer::handleAuthenticate(const Authenticate& message, const Bytes& challenge, const Uuid& sessionID) {
    auto* session = findSession(sessionID);
    if (!session) return;
    const std::string address = session->address;

    auto lookup = store_->lookupKey(message.deviceID);
    if (lookup.status == KeyLookup::Status::unavailable) {
        // The keyring cannot be read now (locked, or its service is gone). The device may well be paired:
        // telling the phone "deviceRemoved" would make it forget this computer, so it hears an internal error
        // and tries again later. Nothing is counted against its address.
        repeatedLines_.write(Log::Level::error, "Server", "Device keys unavailable");
        closeAfterSending(ErrorMessage{ErrorCode::internalError}, sessionID);
        return;
    }
    if (lookup.status == KeyLookup::Status::notFound) {
        recordAuthenticationFailure(address);
        closeAfterSending(ErrorMessage{ErrorCode::deviceRemoved}, sessionID);
        return;
    }
    auto key = OrvikKeys::authenticationKey(lookup.key, message.deviceID);
    if (!OrvikKeys::verify(message.proof, key, challenge)) {
        recordAuthenticationFailure(address);
        closeAfterSending(ErrorMessage{ErrorCode::unauthorized}, sessionID);
        return;
    }

    rateLimiter_.recordSuccess(address);
    // Kept in memory at once; the store saves it later, off this thread.
    store_->updateLastSeen(message.deviceID, wallClock_());
    auto device = store_->device(message.deviceID);
    std::string name = device ? device->name : std::string(unknownDeviceName);
    if (auto* current = findSession(sessionID)) {
        current->stage = Session::Authenticated{message.deviceID};
        current->deviceName = name;
    }
    send(Authenticated{name}, sessionID);
    send(currentStatus(), sessionID);
    emitConnections();
    // A phone that reconnects in a loop would log this thousands of times a minute.
    repeatedLines_.write(Log::Level::info, "Server", "Device authenticated " + message.deviceID.text(),
                         "Device authenticated");
}

} // namespace orvik::helper
