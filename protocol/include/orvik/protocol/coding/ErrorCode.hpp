#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace orvik {

// Why a request failed, as the phone is told. The wire form is the case name.
enum class ErrorCode {
    appTooOld,
    helperTooOld,
    unauthorized,
    pairingUnavailable,
    pairingDenied,
    deviceRemoved,
    paused,
    permissionMissing,
    automationDenied,
    notAllowed,
    notFound,
    invalidRequest,
    unsupported,
    rateLimited,
    cancelledByApp,
    internalError,
};

inline constexpr std::array allErrorCodes{
    ErrorCode::appTooOld,        ErrorCode::helperTooOld,  ErrorCode::unauthorized,   ErrorCode::pairingUnavailable,
    ErrorCode::pairingDenied,    ErrorCode::deviceRemoved, ErrorCode::paused,         ErrorCode::permissionMissing,
    ErrorCode::automationDenied, ErrorCode::notAllowed,    ErrorCode::notFound,       ErrorCode::invalidRequest,
    ErrorCode::unsupported,      ErrorCode::rateLimited,   ErrorCode::cancelledByApp, ErrorCode::internalError,
};

const char* toString(ErrorCode code);
// Exact, case-sensitive match of a case name; anything else is absent.
std::optional<ErrorCode> errorCodeFromString(std::string_view text);

} // namespace orvik
