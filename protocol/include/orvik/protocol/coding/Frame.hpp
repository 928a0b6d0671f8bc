#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/coding/FrameHeader.hpp"

#include <cstdint>

namespace orvik {

// One message on the wire: its type code, flags and payload.
struct Frame {
    std::uint16_t type = 0;
    std::uint16_t flags = 0;
    Bytes payload;

    bool fitsLimit() const { return payload.size() <= FrameHeader::maxPayloadLength; }
    // Throws std::length_error when the payload is over the limit: callers check fitsLimit() first.
    FrameHeader header() const;
    // Header followed by payload; throws std::length_error like header().
    Bytes encoded() const;
    // One whole frame, header and payload, with nothing after it. Throws DecodingError.
    static Frame decode(ByteView bytes);

    friend bool operator==(const Frame&, const Frame&) = default;
};

} // namespace orvik
