#pragma once

#include "orvik/protocol/coding/ErrorCode.hpp"

#include <optional>
#include <string>

namespace orvik::helper {

// The result of one action on this computer: success, or a failure with the phone's error code and an optional
// detail text. Actions return it; they never throw.
struct CommandOutcome {
    struct Failure {
        ErrorCode code = ErrorCode::internalError;
        std::optional<std::string> detail;

        friend bool operator==(const Failure&, const Failure&) = default;
    };

    // Absent for success.
    std::optional<Failure> reason;

    static CommandOutcome success() { return {}; }
    static CommandOutcome failure(ErrorCode code, std::optional<std::string> detail = std::nullopt) {
        return {Failure{code, std::move(detail)}};
    }

    bool isSuccess() const { return !reason; }

    friend bool operator==(const CommandOutcome&, const CommandOutcome&) = default;
};

} // namespace orvik::helper
