#pragma once

#include <exception>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace orvik {

// Why a connection could not start, or stopped. Thrown by FramedConnection and handed to its callbacks.
class ConnectionError : public std::exception {
public:
    enum class Kind { failed, waiting, timedOut, cancelled, closed, invalidEndpoint };

    // What the socket or TLS reported for `failed` and `waiting`.
    struct NetworkError {
        std::error_code code;
        // Every error OpenSSL had queued when the TLS operation failed, oldest first (ERR_get_error codes).
        // One TLS failure often queues several, and the first is not always the telling one.
        std::vector<unsigned long> tlsErrors;
        std::string text;
        // The PSK identity of a TLS handshake that failed once the server had read it (the one the client offered).
        std::string pskIdentity;

        friend bool operator==(const NetworkError&, const NetworkError&) = default;
    };

    static ConnectionError failed(NetworkError error) { return {Kind::failed, std::move(error)}; }
    static ConnectionError failed(std::error_code code, std::string text = {});
    static ConnectionError waiting(NetworkError error) { return {Kind::waiting, std::move(error)}; }
    static ConnectionError timedOut() { return {Kind::timedOut, std::nullopt}; }
    static ConnectionError cancelled() { return {Kind::cancelled, std::nullopt}; }
    static ConnectionError closed() { return {Kind::closed, std::nullopt}; }
    static ConnectionError invalidEndpoint() { return {Kind::invalidEndpoint, std::nullopt}; }

    Kind kind() const { return kind_; }
    // Present for `failed` and `waiting`.
    const std::optional<NetworkError>& networkError() const { return network_; }
    // "failed: <text>", "timedOut", …
    const char* what() const noexcept override { return description_.c_str(); }

    friend bool operator==(const ConnectionError& a, const ConnectionError& b) {
        return a.kind_ == b.kind_ && a.network_ == b.network_;
    }

private:
    ConnectionError(Kind kind, std::optional<NetworkError> network);

    Kind kind_;
    std::optional<NetworkError> network_;
    std::string description_;
};

const char* toString(ConnectionError::Kind kind);

} // namespace orvik
