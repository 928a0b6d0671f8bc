#include "orvik/protocol/transport/ConnectionError.hpp"

namespace orvik {

const char* toString(ConnectionError::Kind kind) {
    switch (kind) {
    case ConnectionError::Kind::failed: return "failed";
    case ConnectionError::Kind::waiting: return "waiting";
    case ConnectionError::Kind::timedOut: return "timedOut";
    case ConnectionError::Kind::cancelled: return "cancelled";
    case ConnectionError::Kind::closed: return "closed";
    case ConnectionError::Kind::invalidEndpoint: return "invalidEndpoint";
    }
    return "unknown";
}

ConnectionError ConnectionError::failed(std::error_code code, std::string text) {
    if (text.empty()) text = code.message();
    return failed(NetworkError{code, {}, std::move(text), {}});
}

ConnectionError::ConnectionError(Kind kind, std::optional<NetworkError> network)
    : kind_(kind), network_(std::move(network)), description_(toString(kind)) {
    if (network_ && !network_->text.empty()) description_ += ": " + network_->text;
}

} // namespace orvik
