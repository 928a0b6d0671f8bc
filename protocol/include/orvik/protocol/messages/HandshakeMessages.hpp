#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/coding/Capabilities.hpp"
#include "orvik/protocol/coding/ProtocolVersion.hpp"
#include "orvik/protocol/coding/Uuid.hpp"
#include "orvik/protocol/messages/CaseNames.hpp"

#include <cstdint>
#include <optional>
#include <string>

// The handshake: the phone says hello, the helper answers with its identity and a challenge, and the phone
// either proves that it holds a device key (authenticate) or asks to be paired (pairRequest).
namespace orvik {

struct Hello {
    std::uint16_t protocolVersion = 0;
    std::uint16_t minimumSupported = 0;
    std::string appVersion{};
    Capabilities capabilities{};

    bool operator==(const Hello&) const = default;
};

struct HelloAck {
    std::uint16_t protocolVersion = ProtocolVersion::current;
    std::uint16_t minimumSupported = ProtocolVersion::minimumSupported;
    std::string helperVersion{};
    Uuid helperID{};
    std::string macName{};
    std::string model{};
    Capabilities capabilities{};
    std::optional<std::string> macAddress = std::nullopt;
    Bytes challenge{};

    bool operator==(const HelloAck&) const = default;
};

// `proof` is the HMAC of the challenge under the key derived from the device key.
struct Authenticate {
    Uuid deviceID{};
    Bytes proof{};

    bool operator==(const Authenticate&) const = default;
};

// `deviceName` is the name under which the helper knows the phone.
struct Authenticated {
    std::string deviceName{};

    bool operator==(const Authenticated&) const = default;
};

enum class PairingMethod { qrCode, manualCode };

struct PairRequest {
    Uuid deviceID{};
    std::string deviceName{};
    std::string deviceModel{};
    std::string appVersion{};
    PairingMethod method = PairingMethod::qrCode;
    Bytes proof{};

    bool operator==(const PairRequest&) const = default;
};

// `deviceKey` is the new device's own key; the phone keeps it for every later authentication.
struct PairAccepted {
    Bytes deviceKey{};
    Uuid helperID{};
    std::string macName{};
    Capabilities capabilities{};

    bool operator==(const PairAccepted&) const = default;
};

template <> struct CaseNames<PairingMethod> {
    static constexpr std::array<std::pair<PairingMethod, std::string_view>, 2> table{
        {{PairingMethod::qrCode, "qrCode"}, {PairingMethod::manualCode, "manualCode"}}};
};

} // namespace orvik
