#include "orvik/protocol/crypto/OrvikKeys.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace orvik;

namespace {

Bytes hex(const std::string& text) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    }
    return out;
}

Bytes range(int first, std::size_t count) {
    Bytes out;
    for (std::size_t i = 0; i < count; ++i) out.push_back(static_cast<std::uint8_t>(first + int(i)));
    return out;
}

const Uuid deviceID = *Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
const Uuid derivingHelperID = *Uuid::parse("0F0E0D0C-0B0A-4908-8706-050403020100");
const Bytes derivingDeviceKey = range(0x00, 32);
const Bytes secret = range(0x40, 32);
const Bytes challenge(32, 0x11);

} // namespace

// Vectors computed independently from the labels and RFC 5869; a phone implementation must reproduce them.
TEST(OrvikKeys, DerivationsAndProofsMatchPinnedVectors) {
    const auto authentication = OrvikKeys::authenticationKey(derivingDeviceKey, deviceID);
    const Bytes codeFromSecret(secret.begin(), secret.begin() + OrvikKeys::manualCodeSecretLength);
    const std::pair<Bytes, const char*> vectors[] = {
        {authentication.bytes(), "1ca604f77f822419d94201ed87c36c0201e2ef3210fcfc9f114f5573a96edf2f"},
        {OrvikKeys::pairingProofKey(secret).bytes(),
         "ad0d3ffc2d5c0f0b7582c365499d4f44086ed3f14e2df0b6ccc1054f8b2bcfe0"},
        {OrvikKeys::qrPairingPSK(secret, derivingHelperID).bytes(),
         "4d1f75a22dbd989971b0b69f8f03e15a1c1e2b9bd0de2d925a6138fe7712fc11"},
        {OrvikKeys::manualPairingPSK(range(0xA0, 15)).bytes(),
         "fa4e58aad0ba736501405bc459607eba8d4647b43163f2cc6539008558edfa2c"},
        {OrvikKeys::sessionPSK(derivingDeviceKey, deviceID).bytes(),
         "82cdc49a72cfecf0f19d0664631e156b4234a5a5db450293b89fad564933b0ca"},
        {OrvikKeys::proof(authentication, challenge),
         "c7bbafd0a2243e761829d973d7dc8c8fb262d47229ba38873a0ed9fbd306893b"},
        {OrvikKeys::proof(OrvikKeys::pairingProofKey(secret), challenge),
         "8ee6a86f80f6991ad7248557035569d33993d3e30ac977a05bbbe6c585e22d5e"},
        {OrvikKeys::proof(OrvikKeys::pairingProofKey(codeFromSecret), challenge),
         "eba1f85d2f2bea266a3bf6899eb12ad9edbee5d06f1b981acb2d66a55728104b"},
    };
    for (const auto& [computed, expected] : vectors) EXPECT_EQ(computed, hex(expected)) << expected;
    // The same input under different labels gives different keys.
    std::set<Bytes> keys{
        OrvikKeys::authenticationKey(secret, derivingHelperID).bytes(), OrvikKeys::pairingProofKey(secret).bytes(),
        OrvikKeys::qrPairingPSK(secret, derivingHelperID).bytes(), OrvikKeys::manualPairingPSK(secret).bytes(),
        OrvikKeys::sessionPSK(secret, derivingHelperID).bytes()};
    EXPECT_EQ(keys.size(), 5u);
}

TEST(OrvikKeys, IdentitiesUseUpperCaseUuidText) {
    EXPECT_EQ(OrvikKeys::sessionIdentity(deviceID), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(OrvikKeys::qrPairingIdentity(derivingHelperID), "pair:0F0E0D0C-0B0A-4908-8706-050403020100");
    EXPECT_EQ(OrvikKeys::manualPairingIdentity, "pair-code");
}

TEST(OrvikKeys, VerifyAcceptsOnlyTheExactProof) {
    auto key = OrvikKeys::authenticationKey(derivingDeviceKey, deviceID);
    Bytes good = OrvikKeys::proof(key, challenge);
    EXPECT_TRUE(OrvikKeys::verify(good, key, challenge));
    Bytes flipped = good, longer = good, otherChallenge = challenge;
    flipped.back() ^= 0x01;
    longer.push_back(0);
    otherChallenge[0] ^= 0x80;
    for (const auto& proof : {flipped, longer, Bytes(good.begin(), good.end() - 1), Bytes{}}) {
        EXPECT_FALSE(OrvikKeys::verify(proof, key, challenge)) << proof.size();
    }
    EXPECT_FALSE(OrvikKeys::verify(good, OrvikKeys::authenticationKey(derivingDeviceKey, derivingHelperID), challenge));
    EXPECT_FALSE(OrvikKeys::verify(good, key, otherChallenge));
}

TEST(OrvikKeys, RandomBytesAndKeysHaveTheirLengths) {
    auto first = OrvikKeys::randomBytes(OrvikKeys::challengeLength);
    auto second = OrvikKeys::randomBytes(OrvikKeys::challengeLength);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->size(), 32u);
    EXPECT_NE(*first, *second);
    EXPECT_EQ(OrvikKeys::randomBytes(0), Bytes{});
    EXPECT_TRUE(SymmetricKey::fromBytes(Bytes(32, 1)));
    EXPECT_FALSE(SymmetricKey::fromBytes(Bytes(31, 1)));
    EXPECT_FALSE(SymmetricKey::fromBytes(Bytes(33, 1)));
}
