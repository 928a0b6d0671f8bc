#include "injection/MediaKeyEncoding.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

TEST(MediaKeyEncoding, DataWordHoldsCodeAndKeyStateInThirtyTwoBitsWidenedWithTheSign) {
    EXPECT_EQ(MediaKeyEncoding::data1(MediaKeyEncoding::mute, true), 0x70A00);
    EXPECT_EQ(MediaKeyEncoding::data1(MediaKeyEncoding::play, false), 0x100B00);
    EXPECT_EQ(MediaKeyEncoding::data1(MediaKeyEncoding::soundUp, false), 0xB00);
    EXPECT_EQ(MediaKeyEncoding::data1(0x8000, true), -2147481088); // 0x80000A00
}

} // namespace
} // namespace orvik::helper
