#pragma once

#include "orvik/protocol/coding/ErrorCode.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace orvik {

// The protocol's error reply. `requestID` names the request it answers when that request carried one.
struct ErrorMessage {
    ErrorCode code = ErrorCode::internalError;
    std::optional<std::string> detail = std::nullopt;
    std::optional<std::uint32_t> requestID = std::nullopt;

    bool operator==(const ErrorMessage&) const = default;
};

} // namespace orvik
