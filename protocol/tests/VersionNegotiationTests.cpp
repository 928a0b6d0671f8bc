#include "orvik/protocol/coding/VersionNegotiation.hpp"

#include <gtest/gtest.h>

using namespace orvik;

TEST(VersionNegotiation, Table) {
    struct Case {
        std::uint16_t localCurrent, localMinimum, remoteCurrent, remoteMinimum;
        VersionNegotiation expected;
    };
    const Case cases[] = {
        {1, 1, 1, 1, VersionNegotiation::compatible(1)},
        {3, 1, 2, 1, VersionNegotiation::compatible(2)}, // the smaller current version wins
        {2, 1, 5, 2, VersionNegotiation::compatible(2)}, // peer newer but still speaks ours
        {3, 2, 1, 1, VersionNegotiation::peerTooOld()},  // peer's newest is below our minimum
        {3, 3, 2, 1, VersionNegotiation::peerTooOld()},
        {1, 1, 5, 3, VersionNegotiation::peerTooNew()}, // peer no longer speaks our newest
        {2, 1, 9, 3, VersionNegotiation::peerTooNew()},
        {1, 1, 0, 0, VersionNegotiation::peerTooOld()},
        {5, 1, 3, 3, VersionNegotiation::compatible(3)}, // exactly the remote minimum
        {5, 3, 3, 1, VersionNegotiation::compatible(3)}, // exactly the local minimum
        {65535, 65535, 65535, 65535, VersionNegotiation::compatible(65535)},
        {1, 1, 65535, 65535, VersionNegotiation::peerTooNew()},
        {2, 2, 1, 3, VersionNegotiation::peerTooOld()}, // both apply: too old is checked first
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VersionNegotiation::negotiate(c.localCurrent, c.localMinimum, c.remoteCurrent, c.remoteMinimum),
                  c.expected)
            << c.localCurrent << "/" << c.localMinimum << " vs " << c.remoteCurrent << "/" << c.remoteMinimum;
    }
}

TEST(VersionNegotiation, WithPeerUsesThisBuildsVersions) {
    EXPECT_EQ(ProtocolVersion::current, 1);
    EXPECT_EQ(ProtocolVersion::minimumSupported, 1);
    auto result = VersionNegotiation::negotiateWithPeer(4, 1);
    EXPECT_TRUE(result.isCompatible());
    EXPECT_EQ(result.version(), 1);
    EXPECT_EQ(VersionNegotiation::negotiateWithPeer(4, 2).outcome(), VersionNegotiation::Outcome::peerTooNew);
    EXPECT_EQ(VersionNegotiation::negotiateWithPeer(0, 0).outcome(), VersionNegotiation::Outcome::peerTooOld);
}
