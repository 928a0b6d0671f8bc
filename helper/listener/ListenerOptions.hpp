#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvik::helper {

// How the listener is exposed: advertised or not, on every interface or on loopback only, and under which
// user-defaults key its port is remembered (absent: the port is neither restored nor stored).
struct ListenerOptions {
    static constexpr std::string_view defaultPortKey = "listenerPort";

    bool advertise = true;
    bool loopbackOnly = false;
    std::optional<std::string> portDefaultsKey = std::string(defaultPortKey);

    // Advertised, every interface, port remembered under "listenerPort".
    static const ListenerOptions& production();
    // Reachable from this machine only, not advertised, any free port each time.
    static const ListenerOptions& loopbackTest();

    friend bool operator==(const ListenerOptions&, const ListenerOptions&) = default;
};

inline const ListenerOptions& ListenerOptions::production() {
    static const ListenerOptions options{};
    return options;
}

inline const ListenerOptions& ListenerOptions::loopbackTest() {
    static const ListenerOptions options{false, true, std::nullopt};
    return options;
}

} // namespace orvik::helper
