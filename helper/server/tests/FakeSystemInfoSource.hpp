#pragma once

#include "server/SystemInfoSource.hpp"

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <array>
#include <cstring>
#include <map>

namespace orvik::helper::testing {

// A host described by tests: its interface list, its files and its kernel host name.
class FakeSystemInfoSource final : public SystemInfoSource {
public:
    std::vector<InterfaceEntry> entries;
    std::map<std::filesystem::path, std::string> files;
    std::optional<std::string> host;

    std::vector<InterfaceEntry> interfaces() const override { return entries; }
    std::optional<std::string> readFile(const std::filesystem::path& file) const override {
        auto found = files.find(file);
        if (found == files.end()) return std::nullopt;
        return found->second;
    }
    std::optional<std::string> hostName() const override { return host; }

    static constexpr unsigned upAndRunning = IFF_UP | IFF_RUNNING;

    void addIPv4(const std::string& name, const char* address, unsigned flags = upAndRunning) {
        sockaddr_in ipv4{};
        ipv4.sin_family = AF_INET;
        ::inet_pton(AF_INET, address, &ipv4.sin_addr);
        entries.push_back({name, flags, SocketAddress::copy(reinterpret_cast<const sockaddr*>(&ipv4))});
    }
    void addIPv6(const std::string& name, const char* address, unsigned flags = upAndRunning) {
        sockaddr_in6 ipv6{};
        ipv6.sin6_family = AF_INET6;
        ::inet_pton(AF_INET6, address, &ipv6.sin6_addr);
        entries.push_back({name, flags, SocketAddress::copy(reinterpret_cast<const sockaddr*>(&ipv6))});
    }
    void addLink(const std::string& name, std::array<unsigned char, 8> bytes, unsigned char length = 6,
                 unsigned flags = upAndRunning) {
        sockaddr_ll link{};
        link.sll_family = AF_PACKET;
        link.sll_halen = length;
        std::memcpy(link.sll_addr, bytes.data(), bytes.size());
        entries.push_back({name, flags, SocketAddress::copy(reinterpret_cast<const sockaddr*>(&link))});
    }
    void addWithoutAddress(const std::string& name) { entries.push_back({name, upAndRunning, std::nullopt}); }
};

} // namespace orvik::helper::testing
