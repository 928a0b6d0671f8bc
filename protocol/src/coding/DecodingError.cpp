#include "orvik/protocol/coding/DecodingError.hpp"

namespace orvik {

const char* toString(DecodingError::Kind kind) {
    switch (kind) {
    case DecodingError::Kind::unexpectedLength: return "unexpectedLength";
    case DecodingError::Kind::invalidValue: return "invalidValue";
    case DecodingError::Kind::unknownMessageType: return "unknownMessageType";
    case DecodingError::Kind::truncated: return "truncated";
    case DecodingError::Kind::malformedPayload: return "malformedPayload";
    }
    return "unknown";
}

DecodingError::DecodingError(Kind kind, const std::string& detail)
    : std::runtime_error(detail.empty() ? toString(kind) : std::string(toString(kind)) + ": " + detail), kind_(kind) {}

} // namespace orvik
