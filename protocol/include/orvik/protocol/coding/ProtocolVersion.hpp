#pragma once

#include <cstdint>

namespace orvik {

// The protocol version this build speaks and the oldest it still accepts.
struct ProtocolVersion {
    ProtocolVersion() = delete;
    static constexpr std::uint16_t current = 1;
    static constexpr std::uint16_t minimumSupported = 1;
};

} // namespace orvik
