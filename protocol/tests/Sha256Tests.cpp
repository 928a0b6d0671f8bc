#include "orvik/protocol/crypto/Sha256.hpp"

#include <gtest/gtest.h>

#include <string>

using orvik::Bytes;

namespace {

Bytes hex(const std::string& text) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    }
    return out;
}

Bytes text(const std::string& value) {
    return {value.begin(), value.end()};
}

Bytes range(int first, int last) {
    Bytes out;
    for (int value = first; value <= last; ++value) out.push_back(static_cast<std::uint8_t>(value));
    return out;
}

} // namespace

// RFC 5869, appendix A, test cases 1 to 3 (SHA-256); an empty input key works too.
TEST(Sha256, HkdfMatchesRfc5869) {
    EXPECT_EQ(orvik::hkdfSha256(Bytes(22, 0x0b), hex("000102030405060708090a0b0c"), hex("f0f1f2f3f4f5f6f7f8f9"), 42),
              hex("3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865"));
    EXPECT_EQ(orvik::hkdfSha256(range(0x00, 0x4f), range(0x60, 0xaf), range(0xb0, 0xff), 82),
              hex("b11e398dc80327a1c8e7f78c596a49344f012eda2d4efad8a050cc4c19afa97c59045a99cac7827271cb41c65e590e09"
                  "da3275600c2f09b8367793a9aca3db71cc30c58179ec3e87c14c01d5c1f3434f1d87"));
    EXPECT_EQ(orvik::hkdfSha256(Bytes(22, 0x0b), {}, {}, 42),
              hex("8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa4b61a96c8"));
    auto key = orvik::hkdfSha256({}, text("salt"), {}, 32);
    EXPECT_EQ(key.size(), 32u);
    EXPECT_NE(key, orvik::hkdfSha256(Bytes{0}, text("salt"), {}, 32));
}

// RFC 4231, test cases 1, 2, 3, 4, 6 and 7 (case 5 is a truncated output).
TEST(Sha256, HmacMatchesRfc4231) {
    EXPECT_EQ(orvik::hmacSha256(Bytes(20, 0x0b), text("Hi There")),
              hex("b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"));
    EXPECT_EQ(orvik::hmacSha256(text("Jefe"), text("what do ya want for nothing?")),
              hex("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"));
    EXPECT_EQ(orvik::hmacSha256(Bytes(20, 0xaa), Bytes(50, 0xdd)),
              hex("773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"));
    EXPECT_EQ(orvik::hmacSha256(range(0x01, 0x19), Bytes(50, 0xcd)),
              hex("82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"));
    EXPECT_EQ(orvik::hmacSha256(Bytes(131, 0xaa), text("Test Using Larger Than Block-Size Key - Hash Key First")),
              hex("60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"));
    EXPECT_EQ(orvik::hmacSha256(Bytes(131, 0xaa),
                                text("This is a test using a larger than block-size key and a larger than block-size "
                                     "data. The key needs to be hashed before being used by the HMAC algorithm.")),
              hex("9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"));
}
