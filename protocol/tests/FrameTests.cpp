#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/coding/Frame.hpp"

#include "DecodingFailure.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace orvik;
using Kind = DecodingError::Kind;

using orvik::testing::failureOf;

TEST(FrameHeader, GoldenBytesUnknownFlagsAndTheLengthLimitFromTheHeaderAlone) {
    FrameHeader header{0x0201, 0x8001, 0x00010203};
    auto bytes = header.encoded();
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), (Bytes{0x02, 0x01, 0x80, 0x01, 0x00, 0x01, 0x02, 0x03}));
    EXPECT_EQ(FrameHeader::decode(bytes), header);

    const struct {
        Bytes bytes;
        std::optional<Kind> result;
    } cases[] = {
        {{0x01, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00}, std::nullopt}, // exactly 1,048,576
        {{0x01, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 0x01}, Kind::unexpectedLength},
        {{0x01, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}, Kind::unexpectedLength},
        {{}, Kind::truncated},
        {{1, 1, 0, 0, 0, 0, 0}, Kind::truncated},
        {{1, 1, 0, 0, 0, 0, 0, 0, 0}, Kind::unexpectedLength},
    };
    for (const auto& [encoded, result] : cases) {
        const Bytes& input = encoded;
        EXPECT_EQ(failureOf([&] { FrameHeader::decode(input); }), result);
    }
}

TEST(Frame, EncodedIsHeaderThenPayloadAndDecodesOnlyAtItsLength) {
    Frame frame{0x0105, 0, Bytes{0xDE, 0xAD, 0xBE, 0xEF}};
    auto bytes = frame.encoded();
    EXPECT_EQ(bytes, (Bytes{0x01, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(Frame::decode(bytes), frame);
    EXPECT_EQ(Frame::decode(Frame{0x0209, 0, {}}.encoded()), (Frame{0x0209, 0, {}}));
    EXPECT_EQ(failureOf([&] { Frame::decode(ByteView(bytes).first(bytes.size() - 1)); }), Kind::truncated);
    bytes.push_back(0);
    EXPECT_EQ(failureOf([&] { Frame::decode(bytes); }), Kind::unexpectedLength);
}

TEST(Frame, PayloadOverTheLimitCannotBeEncoded) {
    Frame atLimit{0x0507, 0, Bytes(FrameHeader::maxPayloadLength, 0x55)};
    EXPECT_TRUE(atLimit.fitsLimit());
    EXPECT_EQ(atLimit.encoded().size(), FrameHeader::size + FrameHeader::maxPayloadLength);
    atLimit.payload.push_back(0);
    EXPECT_FALSE(atLimit.fitsLimit());
    EXPECT_THROW(atLimit.encoded(), std::length_error);
}
