#pragma once

#include "core/Date.hpp"
#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/coding/Uuid.hpp"
#include "orvik/protocol/crypto/PreSharedKey.hpp"
#include "orvik/protocol/messages/HandshakeMessages.hpp"
#include "orvik/protocol/pairing/HostPort.hpp"
#include "orvik/protocol/pairing/ManualPairingCode.hpp"
#include "orvik/protocol/pairing/PairingPayload.hpp"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace orvik::helper {

// One pairing window: a random secret with its own identifier, valid for a limited time. The whole secret goes
// into the pairing URL (QR code); its first 15 bytes make the manual code. Both become pre-shared keys of the
// listener, and a pairing request's proof is checked against the form the phone used.
class PairingSession {
public:
    // How long a window stays open, in seconds.
    static constexpr double lifetime = 300;

    // A window with a new random 32-byte secret; absent when the random source fails.
    static std::optional<PairingSession> open(const Uuid& helperID, Date now = std::chrono::system_clock::now(),
                                              double lifetimeSeconds = lifetime);
    // A window with the given secret, used unchanged (any length).
    PairingSession(const Uuid& helperID, Bytes secret, Date now = std::chrono::system_clock::now(),
                   double lifetimeSeconds = lifetime);

    const Uuid& id() const { return id_; }
    const Bytes& secret() const { return secret_; }
    Date createdAt() const { return createdAt_; }
    Date expiresAt() const { return expiresAt_; }
    const Uuid& helperID() const { return helperID_; }

    // True strictly before expiresAt.
    bool isValid(Date at) const;
    PairingPayload payload(std::string macName, std::vector<HostPort> addresses) const;
    // The code of the secret's first 15 bytes; absent for a shorter secret.
    std::optional<ManualPairingCode> manualCode() const;
    // The QR key ("pair:<helper UUID>"), then the manual-code key ("pair-code") when there is a manual code.
    std::vector<PreSharedKey> preSharedKeys() const;
    // Whether the request's proof is the HMAC of the challenge under the proof key of the secret the phone
    // used: the whole secret for qrCode, the manual code's 15 bytes for manualCode.
    bool verify(const PairRequest& request, ByteView challenge) const;

private:
    Uuid id_;
    Bytes secret_;
    Date createdAt_;
    Date expiresAt_;
    Uuid helperID_;
};

} // namespace orvik::helper
