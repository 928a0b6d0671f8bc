#include "orvik/protocol/coding/VersionNegotiation.hpp"

#include <algorithm>

namespace orvik {

VersionNegotiation VersionNegotiation::negotiate(std::uint16_t localCurrent, std::uint16_t localMinimum,
                                                 std::uint16_t remoteCurrent, std::uint16_t remoteMinimum) {
    auto version = std::min(localCurrent, remoteCurrent);
    if (version < localMinimum) return peerTooOld();
    if (version >= remoteMinimum) return compatible(version);
    return peerTooNew();
}

} // namespace orvik
