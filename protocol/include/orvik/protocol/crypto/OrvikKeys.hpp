#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/coding/Uuid.hpp"
#include "orvik/protocol/crypto/SymmetricKey.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Key derivation and challenge proofs of the protocol.
//
// Every derived key is HKDF-SHA256 with the input key material given, the derivation's label (ASCII) as salt,
// the upper-case UUID text (or nothing) as info, and 32 bytes of output. Each derivation has a label of its own,
// so a key made for one purpose is never valid for another.
namespace orvik::OrvikKeys {

inline constexpr std::size_t challengeLength = 32;
inline constexpr std::size_t deviceKeyLength = 32;
inline constexpr std::size_t pairingSecretLength = 32;
inline constexpr std::size_t manualCodeSecretLength = 15;
inline constexpr std::size_t proofLength = 32;

namespace Label {
inline constexpr std::string_view authentication = "orvik-auth-v1";
inline constexpr std::string_view pairingProof = "orvik-pairing-proof-v1";
inline constexpr std::string_view qrPairing = "orvik-qr-pairing-psk-v1";
inline constexpr std::string_view manualPairing = "orvik-manual-pairing-psk-v1";
inline constexpr std::string_view session = "orvik-session-psk-v1";
} // namespace Label

// The TLS identity of the manual-code pairing key.
inline constexpr std::string_view manualPairingIdentity = "pair-code";

// `count` bytes from the system's secure random source; absent when the source reports an error.
std::optional<Bytes> randomBytes(std::size_t count);

// The key that proves knowledge of a paired device's key in `authenticate` (info: the device's UUID).
SymmetricKey authenticationKey(ByteView deviceKey, const Uuid& deviceID);
// The key under which a pairing request's proof is made (no info).
SymmetricKey pairingProofKey(ByteView secret);
// The TLS pre-shared key of QR pairing (info: the helper's UUID).
SymmetricKey qrPairingPSK(ByteView secret, const Uuid& helperID);
// The TLS pre-shared key of manual-code pairing, from the code's 15 bytes (no info).
SymmetricKey manualPairingPSK(ByteView code);
// The TLS pre-shared key of a paired device's sessions (info: the device's UUID).
SymmetricKey sessionPSK(ByteView deviceKey, const Uuid& deviceID);

// "pair:" followed by the helper's upper-case UUID.
std::string qrPairingIdentity(const Uuid& helperID);
// The device's upper-case UUID.
std::string sessionIdentity(const Uuid& deviceID);

// HMAC-SHA256 of the challenge under the key: what a client sends as its proof.
Bytes proof(const SymmetricKey& key, ByteView challenge);
// True exactly when `proof` is the HMAC-SHA256 of the challenge under the key; compared in constant time.
bool verify(ByteView proof, const SymmetricKey& key, ByteView challenge);

} // namespace orvik::OrvikKeys
