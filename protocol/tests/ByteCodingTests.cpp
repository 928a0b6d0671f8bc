#include "orvik/protocol/coding/ByteReader.hpp"
#include "orvik/protocol/coding/ByteWriter.hpp"
#include "orvik/protocol/coding/DecodingError.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

using namespace orvik;

namespace {
DecodingError::Kind kindOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const DecodingError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "no DecodingError thrown";
    return DecodingError::Kind::malformedPayload;
}
} // namespace

TEST(ByteWriter, WritesIntegersBigEndian) {
    ByteWriter writer;
    writer.writeU8(0xAB);
    writer.writeU16(0x0102);
    writer.writeU32(0x03040506);
    writer.writeU64(0x0708090A0B0C0D0E);
    writer.writeI32(-2);
    writer.writeI64(-1);
    EXPECT_EQ(writer.bytes(), (Bytes{0xAB, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D,
                                     0x0E, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(ByteWriter, WritesFloatsAsTheirIeeeBitPatterns) {
    ByteWriter writer;
    writer.writeF32(1.0f);
    writer.writeF32(-2.5f);
    writer.writeF64(1.0);
    writer.writeF64(-0.0);
    EXPECT_EQ(writer.bytes(), (Bytes{0x3F, 0x80, 0x00, 0x00, 0xC0, 0x20, 0x00, 0x00, 0x3F, 0xF0, 0, 0,
                                     0,    0,    0,    0,    0x80, 0,    0,    0,    0,    0,    0, 0}));
}

TEST(ByteReader, ReadsBackWhatTheWriterWrote) {
    ByteWriter writer;
    writer.writeU8(7);
    writer.writeU16(65535);
    writer.writeU32(4'000'000'000u);
    writer.writeU64(std::numeric_limits<std::uint64_t>::max() - 1);
    writer.writeI32(std::numeric_limits<std::int32_t>::min());
    writer.writeI64(std::numeric_limits<std::int64_t>::min());
    writer.writeF32(3.25f);
    writer.writeF64(-1e300);
    writer.writeBytes(Bytes{1, 2, 3});

    ByteReader reader(writer.bytes());
    EXPECT_EQ(reader.readU8(), 7);
    EXPECT_EQ(reader.readU16(), 65535);
    EXPECT_EQ(reader.readU32(), 4'000'000'000u);
    EXPECT_EQ(reader.readU64(), std::numeric_limits<std::uint64_t>::max() - 1);
    EXPECT_EQ(reader.readI32(), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(reader.readI64(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(reader.readF32(), 3.25f);
    EXPECT_EQ(reader.readF64(), -1e300);
    EXPECT_EQ(reader.remaining(), 3u);
    EXPECT_EQ(reader.readBytes(3), (Bytes{1, 2, 3}));
    EXPECT_NO_THROW(reader.expectEnd());
}

TEST(ByteReader, KeepsNonFiniteFloatBitPatterns) {
    Bytes nanBits{0x7F, 0xC0, 0x00, 0x01};
    ByteReader reader(nanBits);
    float value = reader.readF32();
    EXPECT_TRUE(std::isnan(value));
    ByteWriter writer;
    writer.writeF32(value);
    EXPECT_EQ(writer.bytes(), nanBits);

    Bytes infinity{0xFF, 0xF0, 0, 0, 0, 0, 0, 0};
    ByteReader doubles(infinity);
    EXPECT_EQ(doubles.readF64(), -std::numeric_limits<double>::infinity());
}

TEST(ByteReader, ShortInputIsTruncatedAndConsumesNothing) {
    Bytes three{1, 2, 3};
    ByteReader reader(three);
    EXPECT_EQ(kindOf([&] { reader.readU32(); }), DecodingError::Kind::truncated);
    EXPECT_EQ(reader.remaining(), 3u);
    EXPECT_EQ(kindOf([&] { reader.readU64(); }), DecodingError::Kind::truncated);
    EXPECT_EQ(kindOf([&] { reader.readF64(); }), DecodingError::Kind::truncated);
    EXPECT_EQ(kindOf([&] { reader.readBytes(4); }), DecodingError::Kind::truncated);
    EXPECT_EQ(reader.readU16(), 0x0102);
    EXPECT_EQ(kindOf([&] { reader.readU16(); }), DecodingError::Kind::truncated);
    EXPECT_EQ(reader.readU8(), 3);
    EXPECT_EQ(kindOf([&] { reader.readU8(); }), DecodingError::Kind::truncated);
}

TEST(ByteReader, HugeLengthIsRefusedBeforeAllocating) {
    Bytes some{1, 2};
    ByteReader reader(some);
    EXPECT_EQ(kindOf([&] { reader.readBytes(std::numeric_limits<std::size_t>::max()); }),
              DecodingError::Kind::truncated);
}

TEST(ByteReader, ExpectEndRefusesTrailingBytes) {
    Bytes two{1, 2};
    ByteReader reader(two);
    reader.readU8();
    EXPECT_EQ(kindOf([&] { reader.expectEnd(); }), DecodingError::Kind::unexpectedLength);
    reader.readU8();
    EXPECT_NO_THROW(reader.expectEnd());
}
