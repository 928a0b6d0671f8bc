#pragma once

#include "orvik/protocol/pairing/HostPort.hpp"
#include "server/SystemInfoSource.hpp"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvik::helper {

// Queries of the host: its name, model, hardware address and the addresses at which it can be reached. Keeps no
// state between calls except the mDNS host name it was told. Thread-safe.
//
// Sources on Linux:
// - computer name: PRETTY_HOSTNAME of /etc/machine-info (what systemd-hostnamed serves), else the kernel host
//   name (gethostname), else "Mac";
// - model: /sys/class/dmi/id/product_name, else /proc/device-tree/model, else "Mac";
// - MAC address: the packet-layer address of the default-route interface (/proc/net/route, getifaddrs);
// - local host name: the name the mDNS daemon (Avahi) uses, once told, else the first label of the kernel host
//   name; ".local" appended;
// - reachable addresses: getifaddrs and getnameinfo.
class SystemInfo {
public:
    static constexpr std::string_view fallbackName = "Mac";
    static constexpr std::string_view localDomainSuffix = ".local";

    explicit SystemInfo(std::shared_ptr<const SystemInfoSource> source);

    std::string computerName() const;
    std::string modelIdentifier() const;
    // The hardware address of the default-route interface: six lower-case two-digit hexadecimal bytes joined
    // by ":"; absent when there is no default route or its interface has no 6-byte address.
    std::optional<std::string> primaryMACAddress() const;
    // The hardware address of the named interface, same form; a later matching entry wins.
    std::optional<std::string> macAddress(std::string_view interfaceName) const;
    // The mDNS host name with ".local"; absent when there is none.
    std::optional<std::string> localHostName() const;
    // IPv4 addresses of the up and running, non-loopback interfaces (link-local 169.254.x.x left out), then the
    // local host name, each with the port; duplicates removed, first occurrence kept.
    std::vector<HostPort> reachableAddresses(std::uint16_t port) const;

    // The host name the mDNS daemon uses, without domain (it may rename on a conflict); absent when its client
    // is not connected.
    void setAdvertisedHostName(std::optional<std::string> name);

    // The interface of the default IPv4 route in a /proc/net/route table (the lowest metric wins).
    static std::optional<std::string> defaultRouteInterface(std::string_view routeTable);
    // The PRETTY_HOSTNAME value of an /etc/machine-info text, unquoted; absent when missing or empty.
    static std::optional<std::string> prettyHostName(std::string_view machineInfo);

private:
    std::shared_ptr<const SystemInfoSource> source_;
    mutable std::mutex mutex_;
    std::optional<std::string> advertisedHostName_;
};

} // namespace orvik::helper
