#include "orvik/protocol/coding/Capabilities.hpp"
#include "orvik/protocol/coding/ErrorCode.hpp"

#include <gtest/gtest.h>

using namespace orvik;

TEST(Capabilities, SetOperationsKeepUnknownBits) {
    Capabilities set(0x8000'0000'0000'0000u); // a bit from a newer peer
    EXPECT_FALSE(set.isEmpty());
    EXPECT_TRUE(Capabilities().isEmpty());
    set.insert(Capabilities::pointer);
    set.insert(Capabilities::pointer);
    set = set.unionWith(Capabilities::screenStream | Capabilities::screenHEVC);
    EXPECT_EQ(set.rawValue, 0x8000'0000'0005'0001u);
    EXPECT_TRUE(set.contains(Capabilities::screenStream | Capabilities::pointer));
    EXPECT_FALSE(set.contains(Capabilities::screenStream | Capabilities::keyboard));
    set.remove(Capabilities::screenStream);
    EXPECT_EQ(set - Capabilities::pointer, Capabilities(0x8000'0000'0004'0000u));
    EXPECT_EQ(set & Capabilities::pointer, Capabilities::pointer);
}

TEST(ErrorCode, NamesReadBackExactly) {
    for (auto code : allErrorCodes) EXPECT_EQ(errorCodeFromString(toString(code)), code) << toString(code);
    for (const char* bad : {"", "Paused", "paused ", "notfound", "error"}) {
        EXPECT_FALSE(errorCodeFromString(bad)) << bad;
    }
}
