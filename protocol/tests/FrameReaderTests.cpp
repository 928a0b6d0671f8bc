#include "orvik/protocol/transport/FrameReader.hpp"

#include <gtest/gtest.h>

#include <vector>

using namespace orvik;

namespace {

Bytes encode(const std::vector<Frame>& frames) {
    Bytes stream;
    for (const auto& frame : frames) {
        auto bytes = frame.encoded();
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    return stream;
}

Bytes header(std::uint16_t type, std::uint32_t length) {
    auto bytes = FrameHeader{type, 0, 0}.encoded();
    Bytes out(bytes.begin(), bytes.end());
    for (std::size_t i = 0; i < 4; ++i) out[4 + i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    return out;
}

const std::vector<Frame> sample{
    {0x0105, 0, Bytes{1, 2, 3, 4, 5, 6, 7, 8}},
    {0x0208, 0, {}},
    {0x0301, 0x8001, Bytes(300, 0x41)},
    {0xF000, 0, Bytes{9}},
};

} // namespace

// A frame comes out once its last byte is in, whatever the chunks.
TEST(FrameReader, CutsAStreamIntoFramesWhateverTheChunking) {
    Bytes stream = encode(sample);
    for (std::size_t chunk : {std::size_t(1), std::size_t(3), std::size_t(8), std::size_t(9), stream.size()}) {
        FrameReader reader;
        std::vector<Frame> frames;
        for (std::size_t offset = 0; offset < stream.size(); offset += chunk) {
            reader.append(ByteView(stream).subspan(offset, std::min(chunk, stream.size() - offset)));
            while (auto frame = reader.next()) frames.push_back(std::move(*frame));
        }
        EXPECT_EQ(frames, sample) << "chunk " << chunk;
        EXPECT_EQ(reader.partialBytes(), 0u);
    }
}

TEST(FrameReader, AcceptsThePayloadLimitAndReservesExactlyIt) {
    FrameReader reader;
    reader.append(header(0x0507, FrameHeader::maxPayloadLength));
    EXPECT_FALSE(reader.next());
    EXPECT_EQ(reader.reservedPayloadBytes(), FrameHeader::maxPayloadLength);
    reader.append(Bytes(FrameHeader::maxPayloadLength, 0x01));
    auto frame = reader.next();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->payload.size(), FrameHeader::maxPayloadLength);
}

TEST(FrameReader, RefusesALengthOverTheLimitFromTheHeaderAlone) {
    for (std::uint32_t length : {FrameHeader::maxPayloadLength + 1, std::uint32_t(0xFFFFFFFF)}) {
        FrameReader reader;
        Bytes stream = encode({sample[0]});
        Bytes bad = header(0x0301, length);
        stream.insert(stream.end(), bad.begin(), bad.end());
        reader.append(stream);
        // Frames before the bad header still come out; then the error, every time, and nothing after it.
        EXPECT_EQ(reader.next(), sample[0]);
        EXPECT_EQ(reader.reservedPayloadBytes(), 0u);
        EXPECT_THROW(reader.next(), DecodingError);
        reader.append(encode({sample[1]}));
        try {
            reader.next();
            ADD_FAILURE() << "no error for length " << length;
        } catch (const DecodingError& error) {
            EXPECT_EQ(error.kind(), DecodingError::Kind::unexpectedLength);
        }
    }
}
