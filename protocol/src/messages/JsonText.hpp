#pragma once

#include "JsonValue.hpp"

#include <optional>

namespace orvik::json {

// Deeper documents are refused before parsing; no payload nests more than a few levels.
inline constexpr std::size_t maxNesting = 16;

// Parses a UTF-8 JSON object. Throws DecodingError::malformedPayload for text that is not JSON (invalid UTF-8
// included), not an object, or nested deeper than maxNesting.
Json parseObject(ByteView text);

// Compact UTF-8 text; absent when a string holds invalid UTF-8.
std::optional<Bytes> serialize(const Json& value);

} // namespace orvik::json
