#include "server/PendingEviction.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

using Candidate = PendingEviction::Candidate;

struct Pending {
    std::vector<Candidate> sessions;
    std::vector<Uuid> ids;

    // Adds a session and answers its index.
    std::size_t add(std::string address, double openedAt, bool finishedTLS) {
        ids.push_back(Uuid::random());
        sessions.push_back({ids.back(), std::move(address), openedAt, finishedTLS});
        return ids.size() - 1;
    }
    std::optional<std::size_t> evicted(const std::string& newcomer) const {
        auto chosen = PendingEviction::choose(sessions, newcomer);
        if (!chosen) return std::nullopt;
        return static_cast<std::size_t>(std::find(ids.begin(), ids.end(), *chosen) - ids.begin());
    }
};

TEST(PendingEviction, OnlyASessionStillInsideTLSMakesRoomAndWithNoneTheNewcomerIsRefused) {
    Pending pending;
    pending.add("10.0.0.1", 1, true); // awaiting hello, proof or approval: never displaced
    const auto inTLS = pending.add("10.0.0.2", 5, false);
    pending.add("10.0.0.3", 2, true);
    pending.add("10.0.0.4", 3, true);
    EXPECT_EQ(pending.evicted("10.0.0.9"), inTLS) << "the youngest, yet the only one inside TLS";

    pending.sessions[inTLS].finishedTLS = true;
    EXPECT_EQ(pending.evicted("10.0.0.9"), std::nullopt);
    EXPECT_EQ(PendingEviction::choose({}, "10.0.0.9"), std::nullopt);
}

// A phone on a slow link is still inside TLS while a few addresses churn unfinished handshakes: each newcomer
// displaces the churners (its own address's first), not the phone, however old it is.
TEST(PendingEviction, TheAddressWithTheMostSessionsInsideTLSGoesFirstTheNewcomerCountedThenTheOldest) {
    Pending pending;
    const auto phone = pending.add("192.168.1.20", 1, false);
    const auto firstOfA = pending.add("192.168.1.66", 2, false);
    pending.add("192.168.1.66", 3, false);
    const auto onlyOfB = pending.add("192.168.1.67", 4, false);
    EXPECT_EQ(pending.evicted("192.168.1.68"), firstOfA) << "two from one address";

    pending.sessions[firstOfA].address = "192.168.1.68";
    // Every address now has one: the newcomer's own address goes first.
    EXPECT_EQ(pending.evicted("192.168.1.67"), onlyOfB);
    EXPECT_EQ(pending.evicted("192.168.1.68"), firstOfA);
    // A newcomer from a fourth address finds one each: the oldest goes, which may be the phone.
    EXPECT_EQ(pending.evicted("192.168.1.69"), phone);
    // Sessions past TLS never count towards their address.
    pending.sessions[onlyOfB].finishedTLS = true;
    pending.add("192.168.1.67", 9, false);
    EXPECT_EQ(pending.evicted("192.168.1.69"), phone);
}

} // namespace
} // namespace orvik::helper
