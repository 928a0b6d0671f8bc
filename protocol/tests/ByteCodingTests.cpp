#include "orvik/protocol/coding/ByteReader.hpp"
#include "orvik/protocol/coding/ByteWriter.hpp"
#include "orvik/protocol/coding/DecodingError.hpp"

#include "DecodingFailure.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace orvik;
using Kind = DecodingError::Kind;

using orvik::testing::failureOf;

TEST(ByteCoding, WritesBigEndianIeeeBitPatternsAndReadsThemBack) {
    ByteWriter writer;
    writer.writeU8(0xAB);
    writer.writeU16(0x0102);
    writer.writeU32(0x03040506);
    writer.writeU64(0x0708090A0B0C0D0E);
    writer.writeI32(-2);
    writer.writeI64(std::numeric_limits<std::int64_t>::min());
    writer.writeF32(-2.5f);
    writer.writeF64(1.0);
    writer.writeBytes(Bytes{1, 2, 3});
    EXPECT_EQ(writer.bytes(), (Bytes{0xAB, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D,
                                     0x0E, 0xFF, 0xFF, 0xFF, 0xFE, 0x80, 0,    0,    0,    0,    0,    0,    0,    0xC0,
                                     0x20, 0,    0,    0x3F, 0xF0, 0,    0,    0,    0,    0,    0,    1,    2,    3}));

    ByteReader reader(writer.bytes());
    EXPECT_EQ(reader.readU8(), 0xAB);
    EXPECT_EQ(reader.readU16(), 0x0102);
    EXPECT_EQ(reader.readU32(), 0x03040506u);
    EXPECT_EQ(reader.readU64(), 0x0708090A0B0C0D0Eu);
    EXPECT_EQ(reader.readI32(), -2);
    EXPECT_EQ(reader.readI64(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(reader.readF32(), -2.5f);
    EXPECT_EQ(reader.readF64(), 1.0);
    EXPECT_EQ(reader.remaining(), 3u);
    EXPECT_EQ(reader.readBytes(3), (Bytes{1, 2, 3}));
    EXPECT_EQ(failureOf([&] { reader.expectEnd(); }), std::nullopt);
}

TEST(ByteCoding, NonFiniteFloatsKeepTheirBitPatterns) {
    Bytes nanBits{0x7F, 0xC0, 0x00, 0x01};
    ByteReader reader(nanBits);
    float value = reader.readF32();
    EXPECT_TRUE(std::isnan(value));
    ByteWriter writer;
    writer.writeF32(value);
    EXPECT_EQ(writer.bytes(), nanBits);
    Bytes infinity{0xFF, 0xF0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(ByteReader(infinity).readF64(), -std::numeric_limits<double>::infinity());
}

TEST(ByteReader, ShortInputIsTruncatedAndConsumesNothing) {
    Bytes three{1, 2, 3};
    ByteReader reader(three);
    EXPECT_EQ(failureOf([&] { reader.readU32(); }), Kind::truncated);
    EXPECT_EQ(failureOf([&] { reader.readF64(); }), Kind::truncated);
    EXPECT_EQ(failureOf([&] { reader.readBytes(4); }), Kind::truncated);
    EXPECT_EQ(failureOf([&] { reader.readBytes(std::numeric_limits<std::size_t>::max()); }), Kind::truncated);
    EXPECT_EQ(reader.readU16(), 0x0102);
    EXPECT_EQ(failureOf([&] { reader.expectEnd(); }), Kind::unexpectedLength);
    EXPECT_EQ(failureOf([&] { reader.readU16(); }), Kind::truncated);
    EXPECT_EQ(reader.readU8(), 3);
    EXPECT_EQ(failureOf([&] { reader.readU8(); }), Kind::truncated);
}
