#include "orvik/protocol/coding/ErrorCode.hpp"

namespace orvik {

const char* toString(ErrorCode code) {
    switch (code) {
    case ErrorCode::appTooOld: return "appTooOld";
    case ErrorCode::helperTooOld: return "helperTooOld";
    case ErrorCode::unauthorized: return "unauthorized";
    case ErrorCode::pairingUnavailable: return "pairingUnavailable";
    case ErrorCode::pairingDenied: return "pairingDenied";
    case ErrorCode::deviceRemoved: return "deviceRemoved";
    case ErrorCode::paused: return "paused";
    case ErrorCode::permissionMissing: return "permissionMissing";
    case ErrorCode::automationDenied: return "automationDenied";
    case ErrorCode::notAllowed: return "notAllowed";
    case ErrorCode::notFound: return "notFound";
    case ErrorCode::invalidRequest: return "invalidRequest";
    case ErrorCode::unsupported: return "unsupported";
    case ErrorCode::rateLimited: return "rateLimited";
    case ErrorCode::cancelledByApp: return "cancelledByApp";
    case ErrorCode::internalError: return "internalError";
    }
    return "internalError";
}

std::optional<ErrorCode> errorCodeFromString(std::string_view text) {
    for (auto code : allErrorCodes) {
        if (text == toString(code)) return code;
    }
    return std::nullopt;
}

} // namespace orvik
