#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/coding/Frame.hpp"
#include "orvik/protocol/coding/FrameHeader.hpp"

#include <array>
#include <cstddef>
#include <deque>
#include <optional>

namespace orvik {

// Cuts a byte stream into frames: reads the 8-byte header, refuses a payload length above the limit before
// anything is allocated for it, then takes exactly the payload. Knows nothing of sockets.
class FrameReader {
public:
    // Adds received bytes. Frames completed before a bad header stay available from next().
    void append(ByteView bytes);

    // The next complete frame, or absent when more bytes are needed. Once the frames completed before a bad
    // header are taken, throws that header's DecodingError (unexpectedLength), and does so on every later call:
    // the stream cannot be resynchronised.
    std::optional<Frame> next();

    // Bytes held for the frame in progress (header and payload so far).
    std::size_t partialBytes() const { return headerFill_ + payload_.size(); }
    // Room taken for the payload in progress: its announced length once its header passed the limit check.
    std::size_t reservedPayloadBytes() const { return payload_.capacity(); }

private:
    void takeHeader(ByteView& bytes);
    void takePayload(ByteView& bytes);
    void finishFrame();

    std::array<std::uint8_t, FrameHeader::size> headerBytes_{};
    std::size_t headerFill_ = 0;
    std::optional<FrameHeader> header_;
    Bytes payload_;
    std::deque<Frame> complete_;
    std::optional<DecodingError> error_;
};

} // namespace orvik
