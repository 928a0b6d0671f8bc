#include "injection/MediaKeyEncoding.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

TEST(MediaKeyEncoding, MapsEachMediaKeyToItsAuxiliaryCode) {
    EXPECT_EQ(MediaKeyEncoding::key(MediaKey::playPause), 16);
    EXPECT_EQ(MediaKeyEncoding::key(MediaKey::next), 17);
    EXPECT_EQ(MediaKeyEncoding::key(MediaKey::previous), 18);
    EXPECT_EQ(MediaKeyEncoding::key(MediaKey::volumeUp), 0);
    EXPECT_EQ(MediaKeyEncoding::key(MediaKey::volumeDown), 1);
    EXPECT_EQ(MediaKeyEncoding::key(MediaKey::mute), 7);
}

TEST(MediaKeyEncoding, DataWordHoldsCodeAndKeyState) {
    EXPECT_EQ(MediaKeyEncoding::data1(MediaKeyEncoding::mute, true), 0x70A00);
    EXPECT_EQ(MediaKeyEncoding::data1(MediaKeyEncoding::play, true), 0x100A00);
    EXPECT_EQ(MediaKeyEncoding::data1(MediaKeyEncoding::play, false), 0x100B00);
    EXPECT_EQ(MediaKeyEncoding::data1(MediaKeyEncoding::soundUp, false), 0xB00);
    // Computed in 32 bits and widened with the sign.
    EXPECT_EQ(MediaKeyEncoding::data1(0x8000, true), -2147481088); // 0x80000A00
}

} // namespace
} // namespace orvik::helper
