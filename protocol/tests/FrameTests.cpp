#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/coding/Frame.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace orvik;

namespace {
DecodingError::Kind decodeHeaderError(const Bytes& bytes) {
    try {
        FrameHeader::decode(bytes);
    } catch (const DecodingError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "header decoded";
    return DecodingError::Kind::malformedPayload;
}
} // namespace

TEST(FrameHeader, GoldenBytes) {
    FrameHeader header{0x0201, 0x0000, 0x00010203};
    auto bytes = header.encoded();
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), (Bytes{0x02, 0x01, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03}));
    EXPECT_EQ(FrameHeader::decode(bytes), header);
}

TEST(FrameHeader, KeepsUnknownFlags) {
    Bytes bytes{0x01, 0x05, 0x80, 0x01, 0x00, 0x00, 0x00, 0x00};
    auto header = FrameHeader::decode(bytes);
    EXPECT_EQ(header.type, 0x0105);
    EXPECT_EQ(header.flags, 0x8001);
    EXPECT_EQ(header.payloadLength, 0u);
}

TEST(FrameHeader, LengthLimitIsCheckedFromTheHeaderAlone) {
    Bytes atLimit{0x01, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00};
    EXPECT_EQ(FrameHeader::decode(atLimit).payloadLength, FrameHeader::maxPayloadLength);

    Bytes overLimit{0x01, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 0x01};
    EXPECT_EQ(decodeHeaderError(overLimit), DecodingError::Kind::unexpectedLength);
    Bytes maximum{0x01, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(decodeHeaderError(maximum), DecodingError::Kind::unexpectedLength);
}

TEST(FrameHeader, NeedsExactlyEightBytes) {
    EXPECT_EQ(decodeHeaderError({}), DecodingError::Kind::truncated);
    EXPECT_EQ(decodeHeaderError({1, 1, 0, 0, 0, 0, 0}), DecodingError::Kind::truncated);
    EXPECT_EQ(decodeHeaderError({1, 1, 0, 0, 0, 0, 0, 0, 0}), DecodingError::Kind::unexpectedLength);
}

TEST(Frame, EncodedIsHeaderThenPayloadAndDecodesBack) {
    Frame frame{0x0105, 0, Bytes{0xDE, 0xAD, 0xBE, 0xEF}};
    auto bytes = frame.encoded();
    EXPECT_EQ(bytes, (Bytes{0x01, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(Frame::decode(bytes), frame);

    Frame empty{0x0209, 0, {}};
    EXPECT_EQ(empty.encoded().size(), FrameHeader::size);
    EXPECT_EQ(Frame::decode(empty.encoded()), empty);
}

TEST(Frame, DecodeRefusesShortAndLongInput) {
    Bytes bytes = Frame{0x0301, 0, Bytes{1, 2, 3}}.encoded();
    Bytes shorter(bytes.begin(), bytes.end() - 1);
    Bytes longer = bytes;
    longer.push_back(0);
    try {
        Frame::decode(shorter);
        ADD_FAILURE();
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.kind(), DecodingError::Kind::truncated);
    }
    try {
        Frame::decode(longer);
        ADD_FAILURE();
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.kind(), DecodingError::Kind::unexpectedLength);
    }
}

TEST(Frame, PayloadOverTheLimitCannotBeEncoded) {
    Frame atLimit{0x0507, 0, Bytes(FrameHeader::maxPayloadLength, 0x55)};
    EXPECT_TRUE(atLimit.fitsLimit());
    EXPECT_EQ(atLimit.encoded().size(), FrameHeader::size + FrameHeader::maxPayloadLength);

    Frame overLimit{0x0507, 0, Bytes(FrameHeader::maxPayloadLength + 1, 0x55)};
    EXPECT_FALSE(overLimit.fitsLimit());
    EXPECT_THROW(overLimit.encoded(), std::length_error);
}
