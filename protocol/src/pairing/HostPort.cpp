#include "orvik/protocol/pairing/HostPort.hpp"

#include <algorithm>

namespace orvik {

namespace {

constexpr std::size_t maxPortDigits = 5;
constexpr std::uint32_t maxPort = 65535;

std::optional<std::uint16_t> parsePort(std::string_view digits) {
    if (digits.empty() || digits.size() > maxPortDigits) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value > maxPort) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// Spaces, control characters and "," would break the texts hosts travel in (the pairing URL's address list).
bool isAcceptableHost(std::string_view host) {
    return !host.empty() && std::none_of(host.begin(), host.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7F || c == ',' || c == '[' || c == ']';
    });
}

} // namespace

std::string HostPort::description() const {
    auto portText = std::to_string(port);
    if (host.find(':') != std::string::npos) return "[" + host + "]:" + portText;
    return host + ":" + portText;
}

std::optional<HostPort> HostPort::parse(std::string_view text) {
    std::string_view host;
    std::string_view portText;
    if (text.starts_with('[')) {
        auto close = text.find("]:");
        if (close == std::string_view::npos) return std::nullopt;
        host = text.substr(1, close - 1);
        portText = text.substr(close + 2);
    } else {
        auto colon = text.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        host = text.substr(0, colon);
        portText = text.substr(colon + 1);
    }
    auto port = parsePort(portText);
    if (!port || !isAcceptableHost(host)) return std::nullopt;
    return HostPort{std::string(host), *port};
}

} // namespace orvik
