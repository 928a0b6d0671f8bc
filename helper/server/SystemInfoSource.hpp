#pragma once

#include <sys/socket.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orvik::helper {

// A socket address copied out of the interface list, with its own length.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;

    int family() const { return storage.ss_family; }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
    // Copies an address of a family whose size is known (IPv4, IPv6, packet); absent for any other.
    static std::optional<SocketAddress> copy(const sockaddr* address);
};

// One entry of the system's interface list.
struct InterfaceEntry {
    std::string name;
    unsigned int flags = 0; // IFF_UP, IFF_RUNNING, IFF_LOOPBACK, …
    std::optional<SocketAddress> address;
};

// What SystemInfo reads from the host: the platform's LinuxSystemInfoSource, or a fake in tests.
class SystemInfoSource {
public:
    virtual ~SystemInfoSource() = default;

    // The interface list in the system's order (getifaddrs); empty when it cannot be read.
    virtual std::vector<InterfaceEntry> interfaces() const = 0;
    // A small system file's contents (at most a page or so), absent when it cannot be read.
    virtual std::optional<std::string> readFile(const std::filesystem::path& file) const = 0;
    // The kernel's host name (gethostname), absent on failure.
    virtual std::optional<std::string> hostName() const = 0;
};

} // namespace orvik::helper
