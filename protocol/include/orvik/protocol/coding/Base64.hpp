#pragma once

#include "orvik/protocol/coding/Bytes.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace orvik {

// RFC 4648 Base64. Decoders are strict: only the alphabet, exact padding rules, zero unused bits; anything
// else is absent, so every accepted text has exactly one byte sequence and back.
struct Base64 {
    Base64() = delete;

    // Standard alphabet ("+", "/") with "=" padding.
    static std::string encode(ByteView bytes);
    static std::optional<Bytes> decode(std::string_view text);

    // URL-safe alphabet ("-", "_") without padding.
    static std::string encodeURLSafe(ByteView bytes);
    static std::optional<Bytes> decodeURLSafe(std::string_view text);
};

} // namespace orvik
