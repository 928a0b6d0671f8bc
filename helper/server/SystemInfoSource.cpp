#include "server/SystemInfoSource.hpp"

#include <linux/if_packet.h>
#include <netinet/in.h>

#include <cstring>

namespace orvik::helper {

std::optional<SocketAddress> SocketAddress::copy(const sockaddr* address) {
    if (!address) return std::nullopt;
    SocketAddress copied;
    switch (address->sa_family) {
    case AF_INET: copied.length = sizeof(sockaddr_in); break;
    case AF_INET6: copied.length = sizeof(sockaddr_in6); break;
    case AF_PACKET: copied.length = sizeof(sockaddr_ll); break;
    default: return std::nullopt;
    }
    std::memcpy(&copied.storage, address, copied.length);
    return copied;
}

} // namespace orvik::helper
