#include "core/EventStream.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

TEST(EventStream, KeepsOnlyTheNewestValuesOldestFirst) {
    EventStream<int> stream(3);
    for (int value = 1; value <= 5; ++value) stream.publish(value);
    EXPECT_EQ(stream.drain(), (std::vector<int>{3, 4, 5}));
    EXPECT_EQ(stream.next(), std::nullopt);
    stream.publish(6);
    stream.publish(7);
    EXPECT_EQ(stream.next(), 6);
    EXPECT_EQ(stream.next(), 7);
}

TEST(EventStream, WakesAfterEveryPublishAndOnFinishAndTheWakeMayTakeValues) {
    EventStream<int> stream(64);
    int wakes = 0;
    std::vector<int> taken;
    stream.setWake([&] {
        ++wakes;
        if (wakes == 1) taken.push_back(*stream.next());
    });
    stream.publish(1);
    stream.publish(2);
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(taken, std::vector<int>{1}) << "taking a value from the wake callback does not deadlock";
    stream.finish();
    EXPECT_EQ(wakes, 3);
    EXPECT_TRUE(stream.isFinished());
    stream.publish(3);
    stream.finish();
    EXPECT_EQ(wakes, 3);
    EXPECT_EQ(stream.drain(), (std::vector<int>{2}));
}

} // namespace
} // namespace orvik::helper
