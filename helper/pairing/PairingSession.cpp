#include "pairing/PairingSession.hpp"

#include "orvik/protocol/crypto/OrvikKeys.hpp"

namespace orvik::helper {

std::optional<PairingSession> PairingSession::open(const Uuid& helperID, Date now, double lifetimeSeconds) {
    auto secret = OrvikKeys::randomBytes(OrvikKeys::pairingSecretLength);
    if (!secret) return std::nullopt;
    return PairingSession(helperID, std::move(*secret), now, lifetimeSeconds);
}

PairingSession::PairingSession(const Uuid& helperID, Bytes secret, Date now, double lifetimeSeconds)
    : id_(Uuid::random()), secret_(std::move(secret)), createdAt_(now),
      expiresAt_(now + std::chrono::round<Date::duration>(std::chrono::duration<double>(lifetimeSeconds))),
      helperID_(helperID) {}

bool PairingSession::isValid(Date at) const {
    return at < expiresAt_;
}

PairingPayload PairingSession::payload(std::string macName, std::vector<HostPort> addresses) const {
    return PairingPayload{helperID_, std::move(macName), std::move(addresses), secret_};
}

std::optional<ManualPairingCode> PairingSession::manualCode() const {
    return ManualPairingCode::fromPairingSecret(secret_);
}

std::vector<PreSharedKey> PairingSession::preSharedKeys() const {
    std::vector<PreSharedKey> keys{
        {OrvikKeys::qrPairingPSK(secret_, helperID_), OrvikKeys::qrPairingIdentity(helperID_)}};
    if (auto code = manualCode()) {
        keys.push_back({OrvikKeys::manualPairingPSK(code->bytes), std::string(OrvikKeys::manualPairingIdentity)});
    }
    return keys;
}

bool PairingSession::verify(const PairRequest& request, ByteView challenge) const {
    Bytes proofSecret;
    if (request.method == PairingMethod::manualCode) {
        auto code = manualCode();
        if (!code) return false;
        proofSecret.assign(code->bytes.begin(), code->bytes.end());
    } else {
        proofSecret = secret_;
    }
    return OrvikKeys::verify(request.proof, OrvikKeys::pairingProofKey(proofSecret), challenge);
}

} // namespace orvik::helper
