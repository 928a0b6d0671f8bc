#pragma once

#include "core/Date.hpp"
#include "listener/ListenerStatus.hpp"
#include "orvik/protocol/coding/Uuid.hpp"
#include "orvik/protocol/pairing/HostPort.hpp"
#include "pairing/PairedDevice.hpp"
#include "preferences/HelperPreferences.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// The values through which the server talks to the rest of the application. All are plain values that may be
// copied from the server's thread to the GUI thread.
namespace orvik::helper {

// One authenticated session of a paired device, as the application lists it; identified by its session.
struct ConnectedDevice {
    Uuid sessionID;
    Uuid deviceID;
    std::string name;
    std::string address;

    const Uuid& id() const { return sessionID; }

    friend bool operator==(const ConnectedDevice&, const ConnectedDevice&) = default;
};

// What the open pairing window shows.
struct PairingInfo {
    Uuid sessionID;
    std::string url;        // the pairing URL shown as a QR code
    std::string manualCode; // formatted, grouped code; empty when the session has none
    Date expiresAt;
    std::vector<HostPort> addresses; // in the order the pairing URL carries them

    friend bool operator==(const PairingInfo&, const PairingInfo&) = default;
};

// The question put to the local user before a new device is paired (names already cleaned).
struct PairingApprovalRequest {
    std::string deviceName;
    std::string deviceModel;
};

// Everything the server tells the application model. Not comparable; look inside with get<T>().
struct ServerEvent {
    // The listener's status changed.
    struct ListenerStatusChanged {
        ListenerStatus status;
    };
    // The complete current list of connected control sessions.
    struct Connections {
        std::vector<ConnectedDevice> devices;
    };
    // A pairing window was opened (info present) or no window is open any longer (absent).
    struct Pairing {
        std::optional<PairingInfo> info;
    };
    // A new device was paired and stored.
    struct Paired {
        PairedDevice device;
    };
    // The complete stored list of paired devices.
    struct Devices {
        std::vector<PairedDevice> devices;
    };
    // Control by the phones was paused (true) or resumed (false).
    struct Paused {
        bool paused = false;
    };
    // A handshake failure from this peer address was counted by the rate limiter.
    struct HandshakeFailed {
        std::string address;
    };
    // The complete current list of devices viewing a screen.
    struct ScreenViewers {
        std::vector<ConnectedDevice> viewers;
    };

    // The preferences as the server stored them just now, whoever changed them.
    struct Preferences {
        HelperPreferences preferences;
    };

    using Variant = std::variant<ListenerStatusChanged, Connections, Pairing, Paired, Devices, Paused, HandshakeFailed,
                                 ScreenViewers, Preferences>;
    Variant value;

    static ServerEvent listenerStatus(ListenerStatus status) { return {ListenerStatusChanged{std::move(status)}}; }
    static ServerEvent connections(std::vector<ConnectedDevice> devices) { return {Connections{std::move(devices)}}; }
    static ServerEvent pairing(std::optional<PairingInfo> info) { return {Pairing{std::move(info)}}; }
    static ServerEvent paired(PairedDevice device) { return {Paired{std::move(device)}}; }
    static ServerEvent devices(std::vector<PairedDevice> devices) { return {Devices{std::move(devices)}}; }
    static ServerEvent paused(bool paused) { return {Paused{paused}}; }
    static ServerEvent handshakeFailed(std::string address) { return {HandshakeFailed{std::move(address)}}; }
    static ServerEvent screenViewers(std::vector<ConnectedDevice> viewers) {
        return {ScreenViewers{std::move(viewers)}};
    }
    static ServerEvent preferences(HelperPreferences preferences) { return {Preferences{std::move(preferences)}}; }

    template <class T> const T* get() const { return std::get_if<T>(&value); }
};

} // namespace orvik::helper
