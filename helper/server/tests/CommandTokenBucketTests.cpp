#include "server/CommandTokenBucket.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvik::helper {
namespace {

// `count` requests at clock time `now`, of which `granted` are let through.
struct Burst {
    double now;
    int count;
    int granted;
};

struct BucketCase {
    std::string name;
    std::vector<Burst> bursts;
};

class CommandTokenBucketFixture : public ::testing::TestWithParam<BucketCase> {};

TEST_P(CommandTokenBucketFixture, GrantsWhatTheBucketHolds) {
    CommandTokenBucket bucket;
    for (const auto& burst : GetParam().bursts) {
        int granted = 0;
        for (int request = 0; request < burst.count; ++request) granted += bucket.take(burst.now) ? 1 : 0;
        EXPECT_EQ(granted, burst.granted) << "at " << burst.now;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandTokenBucketFixture,
    ::testing::Values(BucketCase{"FortyAtOnceThenNone", {{1000, 41, 40}}},
                      BucketCase{"TwentyPerSecondAfterwards", {{1000, 40, 40}, {1000.06, 2, 1}, {1001.06, 25, 20}}},
                      BucketCase{"NeverMoreThanFortyAfterAPause", {{5, 40, 40}, {3600, 45, 40}}},
                      // The first request has nothing to refill from, also when the clock reads 0.
                      BucketCase{"AClockReadingZeroStillCountsAsARequest", {{0, 41, 40}, {1, 21, 20}}},
                      BucketCase{"ARefusedRequestKeepsItsFraction", {{7, 40, 40}, {7.03125, 1, 0}, {7.0625, 1, 1}}}),
    [](const auto& testCase) { return testCase.param.name; });

} // namespace
} // namespace orvik::helper
