#include "orvik/protocol/coding/Base64.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace orvik;

namespace {
Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}
} // namespace

TEST(Base64, StandardVectors) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (auto [plain, encoded] : vectors) {
        EXPECT_EQ(Base64::encode(bytesOf(plain)), encoded);
        EXPECT_EQ(Base64::decode(encoded), bytesOf(plain)) << encoded;
    }
}

TEST(Base64, AlphabetsDifferInTheLastTwoSymbolsAndPadding) {
    Bytes bytes{0xFB, 0xFF, 0xBF, 0xFE};
    EXPECT_EQ(Base64::encode(bytes), "+/+//g==");
    EXPECT_EQ(Base64::encodeURLSafe(bytes), "-_-__g");
    EXPECT_EQ(Base64::decodeURLSafe("-_-__g"), bytes);
    EXPECT_EQ(Base64::decode("+/+//g=="), bytes);
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

TEST(Base64, RejectsBadStandardText) {
    for (const char* bad : {"Zg", "Zg=", "Zg===", "Z===", "====", "Zm9v\n", " Zm9v", "Zm-v", "Zm_v",
                            "Zh==", "Zm9=", "Zg==Zg==", "=Zm9", "Zm=v"}) {
        EXPECT_FALSE(Base64::decode(bad)) << bad;
    }
}

TEST(Base64, RejectsBadUrlSafeText) {
    for (const char* bad : {"Zg==", "Z", "Zm9vY", "Zm+v", "Zm/v", "Zh", "Zm9", "Zm 9v"}) {
        EXPECT_FALSE(Base64::decodeURLSafe(bad)) << bad;
    }
    EXPECT_EQ(Base64::decodeURLSafe("Zm8"), bytesOf("fo"));
    EXPECT_EQ(Base64::decodeURLSafe(""), Bytes{});
}
