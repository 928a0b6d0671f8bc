#pragma once

#include "orvik/protocol/coding/Bytes.hpp"

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvik {

// The 8-byte big-endian header in front of every payload: type u16, flags u16, payload length u32.
struct FrameHeader {
    static constexpr std::size_t size = 8;
    // Larger payloads are refused from the header alone, before anything is allocated for them.
    static constexpr std::uint32_t maxPayloadLength = 1'048'576;

    std::uint16_t type = 0;
    // No flag is defined yet; receivers keep the value and ignore bits they do not know.
    std::uint16_t flags = 0;
    std::uint32_t payloadLength = 0;

    std::array<std::uint8_t, size> encoded() const;
    // Takes exactly 8 bytes: fewer throw DecodingError::truncated, more or a length above the limit throw
    // DecodingError::unexpectedLength.
    static FrameHeader decode(ByteView bytes);

    friend bool operator==(const FrameHeader&, const FrameHeader&) = default;
};

} // namespace orvik
