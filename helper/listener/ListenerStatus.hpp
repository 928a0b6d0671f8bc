#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace orvik::helper {

// The listener's state; `starting` is the server's initial status.
struct ListenerStatus {
    struct Ready {
        std::uint16_t port = 0;
        friend bool operator==(const Ready&, const Ready&) = default;
    };
    struct Failed {
        std::string reason; // the error's description
        friend bool operator==(const Failed&, const Failed&) = default;
    };
    struct Starting {
        friend bool operator==(const Starting&, const Starting&) = default;
    };
    struct LocalNetworkDenied {
        friend bool operator==(const LocalNetworkDenied&, const LocalNetworkDenied&) = default;
    };

    std::variant<Ready, Failed, Starting, LocalNetworkDenied> value = Starting{};

    static ListenerStatus ready(std::uint16_t port) { return {Ready{port}}; }
    static ListenerStatus failed(std::string reason) { return {Failed{std::move(reason)}}; }
    static ListenerStatus starting() { return {Starting{}}; }
    static ListenerStatus localNetworkDenied() { return {LocalNetworkDenied{}}; }

    template <class T> const T* get() const { return std::get_if<T>(&value); }
    // The port when ready, else absent.
    std::optional<std::uint16_t> readyPort() const {
        if (auto* ready = get<Ready>()) return ready->port;
        return std::nullopt;
    }

    friend bool operator==(const ListenerStatus&, const ListenerStatus&) = default;
};

} // namespace orvik::helper
