#include "orvik/protocol/crypto/OrvikKeys.hpp"

#include "orvik/protocol/crypto/Sha256.hpp"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>
#include <climits>

namespace orvik::OrvikKeys {

namespace {

ByteView asBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

SymmetricKey derive(ByteView inputKey, std::string_view label, std::string_view info) {
    Bytes output = hkdfSha256(inputKey, asBytes(label), asBytes(info), SymmetricKey::length);
    SymmetricKey::Storage storage{};
    std::copy(output.begin(), output.end(), storage.begin());
    OPENSSL_cleanse(output.data(), output.size());
    return SymmetricKey(storage);
}

} // namespace

std::optional<Bytes> randomBytes(std::size_t count) {
    if (count > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
    Bytes bytes(count);
    if (count > 0 && RAND_bytes(bytes.data(), static_cast<int>(count)) != 1) return std::nullopt;
    return bytes;
}

SymmetricKey authenticationKey(ByteView deviceKey, const Uuid& deviceID) {
    return derive(deviceKey, Label::authentication, deviceID.text());
}

SymmetricKey pairingProofKey(ByteView secret) {
    return derive(secret, Label::pairingProof, {});
}

SymmetricKey qrPairingPSK(ByteView secret, const Uuid& helperID) {
    return derive(secret, Label::qrPairing, helperID.text());
}

SymmetricKey manualPairingPSK(ByteView code) {
    return derive(code, Label::manualPairing, {});
}

SymmetricKey sessionPSK(ByteView deviceKey, const Uuid& deviceID) {
    return derive(deviceKey, Label::session, deviceID.text());
}

std::string qrPairingIdentity(const Uuid& helperID) {
    return "pair:" + helperID.text();
}

std::string sessionIdentity(const Uuid& deviceID) {
    return deviceID.text();
}

Bytes proof(const SymmetricKey& key, ByteView challenge) {
    return hmacSha256(key.view(), challenge);
}

bool verify(ByteView proof, const SymmetricKey& key, ByteView challenge) {
    if (proof.size() != proofLength) return false;
    Bytes expected = hmacSha256(key.view(), challenge);
    return CRYPTO_memcmp(expected.data(), proof.data(), proofLength) == 0;
}

} // namespace orvik::OrvikKeys
