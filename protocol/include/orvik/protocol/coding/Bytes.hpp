#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace orvik {

// Raw bytes as they travel on the wire or sit in a key.
using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

} // namespace orvik
