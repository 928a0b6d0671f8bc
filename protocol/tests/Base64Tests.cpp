#include "orvik/protocol/coding/Base64.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace orvik;

TEST(Base64, StandardVectorsAndTheUrlSafeAlphabet) {
    for (auto [plain, encoded] : {std::pair{"", ""},
                                  {"f", "Zg=="},
                                  {"fo", "Zm8="},
                                  {"foo", "Zm9v"},
                                  {"foob", "Zm9vYg=="},
                                  {"fooba", "Zm9vYmE="},
                                  {"foobar", "Zm9vYmFy"}}) {
        Bytes bytes(plain, plain + std::char_traits<char>::length(plain));
        EXPECT_EQ(Base64::encode(bytes), encoded);
        EXPECT_EQ(Base64::decode(encoded), bytes) << encoded;
    }
    Bytes bytes{0xFB, 0xFF, 0xBF, 0xFE};
    EXPECT_EQ(Base64::encode(bytes), "+/+//g==");
    EXPECT_EQ(Base64::encodeURLSafe(bytes), "-_-__g");
    EXPECT_EQ(Base64::decodeURLSafe("-_-__g"), bytes);
    EXPECT_EQ(Base64::decodeURLSafe("Zm8"), (Bytes{'f', 'o'}));
}

TEST(Base64, RoundTripsRandomBytesOfEveryShortLength) {
    std::mt19937 random(42);
    for (std::size_t length = 0; length < 70; ++length) {
        Bytes bytes(length);
        for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
        EXPECT_EQ(Base64::decode(Base64::encode(bytes)), bytes);
        EXPECT_EQ(Base64::decodeURLSafe(Base64::encodeURLSafe(bytes)), bytes);
    }
}

TEST(Base64, DecodersAreStrict) {
    for (const char* bad : {"Zg", "Zg=", "Zg===", "Z===", "====", "Zm9v\n", " Zm9v", "Zm-v", "Zm_v",
                            "Zh==", "Zm9=", "Zg==Zg==", "=Zm9", "Zm=v"}) {
        EXPECT_FALSE(Base64::decode(bad)) << bad;
    }
    for (const char* bad : {"Zg==", "Z", "Zm9vY", "Zm+v", "Zm/v", "Zh", "Zm9", "Zm 9v"}) {
        EXPECT_FALSE(Base64::decodeURLSafe(bad)) << bad;
    }
}
