#include "orvik/protocol/coding/VersionNegotiation.hpp"

#include <gtest/gtest.h>

using namespace orvik;

TEST(VersionNegotiation, Table) {
    using V = VersionNegotiation;
    const struct {
        std::uint16_t localCurrent, localMinimum, remoteCurrent, remoteMinimum;
        V expected;
    } cases[] = {
        {1, 1, 1, 1, V::compatible(1)},
        {3, 1, 2, 1, V::compatible(2)}, // the smaller current version wins
        {2, 1, 5, 2, V::compatible(2)}, // peer newer but still speaks ours
        {3, 2, 1, 1, V::peerTooOld()},  // peer's newest is below our minimum
        {1, 1, 0, 0, V::peerTooOld()},
        {1, 1, 5, 3, V::peerTooNew()},  // peer no longer speaks our newest
        {5, 1, 3, 3, V::compatible(3)}, // exactly the remote minimum
        {5, 3, 3, 1, V::compatible(3)}, // exactly the local minimum
        {65535, 65535, 65535, 65535, V::compatible(65535)},
        {2, 2, 1, 3, V::peerTooOld()}, // both apply: too old is checked first
    };
    for (const auto& c : cases) {
        EXPECT_EQ(V::negotiate(c.localCurrent, c.localMinimum, c.remoteCurrent, c.remoteMinimum), c.expected)
            << c.localCurrent << "/" << c.localMinimum << " vs " << c.remoteCurrent << "/" << c.remoteMinimum;
    }
    // With this build's versions, 1 and 1.
    EXPECT_EQ(V::negotiateWithPeer(4, 1), V::compatible(1));
    EXPECT_EQ(V::negotiateWithPeer(4, 2), V::peerTooNew());
    EXPECT_EQ(V::negotiateWithPeer(0, 0), V::peerTooOld());
}
