#pragma once

#include "orvik/protocol/coding/Bytes.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace orvik::helper {

// The two framings of NAL units: Annex B (each unit after a 00 00 01 or 00 00 00 01 start code), as libavcodec
// writes them, and 4-byte big-endian length prefixes, as the wire carries them.
class NalUnits {
public:
    static constexpr std::size_t lengthFieldSize = 4;

    // The units of an Annex B stream, without their start codes, in order.
    static std::vector<std::span<const std::uint8_t>> splitAnnexB(std::span<const std::uint8_t> stream);
    // The units of a length-prefixed picture; empty when a length runs past the end.
    static std::vector<std::span<const std::uint8_t>> splitLengthPrefixed(std::span<const std::uint8_t> picture);
    static void appendLengthPrefixed(Bytes& out, std::span<const std::uint8_t> unit);
    static void appendAnnexB(Bytes& out, std::span<const std::uint8_t> unit);

    // NAL unit type of an H.264 (5 bits) or HEVC (6 bits) unit; 0xff for an empty unit.
    static std::uint8_t h264Type(std::span<const std::uint8_t> unit) {
        return unit.empty() ? 0xff : static_cast<std::uint8_t>(unit[0] & 0x1f);
    }
    static std::uint8_t hevcType(std::span<const std::uint8_t> unit) {
        return unit.empty() ? 0xff : static_cast<std::uint8_t>((unit[0] >> 1) & 0x3f);
    }
};

} // namespace orvik::helper
