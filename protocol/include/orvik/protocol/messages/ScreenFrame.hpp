#pragma once

#include "orvik/protocol/coding/Bytes.hpp"

#include <cstddef>
#include <cstdint>

// The binary screen-video payloads. An encoded frame travels as 1 to 64 ScreenFrame fragments in index order
// (EncodedScreenFrame::fragments); the viewer puts them back together (ScreenFrameAssembler) and acknowledges
// each complete frame with a ScreenFrameAck.
namespace orvik {

struct ScreenFrame {
    std::uint32_t sequence = 0;
    bool isKeyframe = false;
    std::uint16_t fragmentIndex = 0;
    std::uint16_t fragmentCount = 1;
    // Capture time in nanoseconds of the helper's uptime clock, echoed in the acknowledgement.
    std::uint64_t captureTime = 0;
    Bytes data{};

    static constexpr std::size_t maxFragmentData = 262'144;
    static constexpr std::uint16_t maxFragments = 64;
    static constexpr std::size_t headerSize = 17;

    Bytes encode() const;
    // Throws DecodingError: unexpectedLength for a short payload or more than maxFragmentData bytes of data;
    // invalidValue for a fragment count of 0 or above maxFragments, an index not below the count, or a
    // keyframe flag other than 0 or 1.
    static ScreenFrame decode(ByteView payload);
    bool operator==(const ScreenFrame&) const = default;
};

struct ScreenFrameAck {
    std::uint32_t sequence = 0;
    std::uint64_t captureTime = 0;

    static constexpr std::size_t wireSize = 12;
    Bytes encode() const;
    static ScreenFrameAck decode(ByteView payload);
    bool operator==(const ScreenFrameAck&) const = default;
};

} // namespace orvik
