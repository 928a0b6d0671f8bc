#include "pairing/PairingSession.hpp"

#include "orvik/protocol/crypto/OrvikKeys.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

const auto helperID = *Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
const Date opened = Date(std::chrono::seconds(1'700'000'000));
const Bytes challenge(32, 0x42);

PairRequest requestProvedWith(ByteView proofSecret, PairingMethod method) {
    PairRequest request;
    request.deviceID = Uuid::random();
    request.method = method;
    request.proof = OrvikKeys::proof(OrvikKeys::pairingProofKey(proofSecret), challenge);
    return request;
}

TEST(PairingSession, OpensWithAFreshSecretForFiveMinutes) {
    auto first = PairingSession::open(helperID, opened);
    auto second = PairingSession::open(helperID, opened);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->secret().size(), 32u);
    EXPECT_NE(first->secret(), second->secret());
    EXPECT_NE(first->id(), second->id());
    EXPECT_NE(first->manualCode(), second->manualCode());
    EXPECT_EQ(first->helperID(), helperID);
    EXPECT_EQ(first->createdAt(), opened);
    EXPECT_EQ(first->expiresAt(), opened + std::chrono::seconds(300));
    EXPECT_TRUE(first->isValid(opened + std::chrono::seconds(299)));
    EXPECT_FALSE(first->isValid(opened + std::chrono::seconds(300))) << "valid strictly before its expiry";
}

TEST(PairingSession, OffersTheQrKeyThenTheKeyOfTheManualCodeMadeOfTheFirstFifteenBytes) {
    Bytes secret(32, 0);
    for (std::size_t index = 0; index < secret.size(); ++index) secret[index] = static_cast<std::uint8_t>(index);
    PairingSession session(helperID, secret, opened);
    auto keys = session.preSharedKeys();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].identity, "pair:E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(keys[0].key, OrvikKeys::qrPairingPSK(secret, helperID));
    EXPECT_EQ(keys[1].identity, "pair-code");
    Bytes codeBytes(secret.begin(), secret.begin() + 15);
    EXPECT_EQ(keys[1].key, OrvikKeys::manualPairingPSK(codeBytes));
    auto code = session.manualCode();
    ASSERT_TRUE(code);
    EXPECT_EQ(Bytes(code->bytes.begin(), code->bytes.end()), codeBytes);
}

TEST(PairingSession, AShortSecretHasNoManualCodeAndRefusesManualRequests) {
    Bytes secret(14, 9);
    PairingSession session(helperID, secret, opened);
    EXPECT_FALSE(session.manualCode());
    ASSERT_EQ(session.preSharedKeys().size(), 1u);
    EXPECT_EQ(session.preSharedKeys()[0].identity, "pair:E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_FALSE(session.verify(requestProvedWith(secret, PairingMethod::manualCode), challenge));
    EXPECT_TRUE(session.verify(requestProvedWith(secret, PairingMethod::qrCode), challenge));
}

TEST(PairingSession, VerifiesTheProofOfTheSecretTheMethodNames) {
    auto session = *PairingSession::open(helperID, opened);
    const Bytes& whole = session.secret();
    Bytes codeBytes(whole.begin(), whole.begin() + 15);
    EXPECT_TRUE(session.verify(requestProvedWith(whole, PairingMethod::qrCode), challenge));
    EXPECT_TRUE(session.verify(requestProvedWith(codeBytes, PairingMethod::manualCode), challenge));
    EXPECT_FALSE(session.verify(requestProvedWith(codeBytes, PairingMethod::qrCode), challenge));
    EXPECT_FALSE(session.verify(requestProvedWith(whole, PairingMethod::manualCode), challenge));
    EXPECT_FALSE(session.verify(requestProvedWith(whole, PairingMethod::qrCode), Bytes(32, 0x43)));
}

} // namespace
} // namespace orvik::helper
