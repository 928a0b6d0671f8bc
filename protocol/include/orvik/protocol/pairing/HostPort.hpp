#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace orvik {

// Where a helper can be reached. Stores the host text unchanged; only parse() checks anything.
struct HostPort {
    std::string host;
    std::uint16_t port = 0;

    // "host:port", or "[host]:port" when the host contains ":" (IPv6).
    std::string description() const;
    // Reads the form description() prints. The port is 1 to 5 decimal digits up to 65535; an unbracketed host
    // may not contain ":", a bracketed one not "[" or "]"; a host may not be empty or hold spaces, control
    // characters or ",". Anything else is absent.
    static std::optional<HostPort> parse(std::string_view text);

    friend bool operator==(const HostPort&, const HostPort&) = default;
};

} // namespace orvik

template <> struct std::hash<orvik::HostPort> {
    std::size_t operator()(const orvik::HostPort& value) const noexcept {
        return std::hash<std::string>{}(value.host) * 31 + value.port;
    }
};
