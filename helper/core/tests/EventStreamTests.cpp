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

TEST(EventStream, WakesAfterEveryPublishAndOnFinish) {
    EventStream<int> stream(64);
    int wakes = 0;
    stream.setWake([&wakes] { ++wakes; });
    stream.publish(1);
    stream.publish(2);
    EXPECT_EQ(wakes, 2);
    stream.finish();
    EXPECT_EQ(wakes, 3);
    EXPECT_TRUE(stream.isFinished());
    stream.publish(3);
    stream.finish();
    EXPECT_EQ(wakes, 3);
    EXPECT_EQ(stream.drain(), (std::vector<int>{1, 2}));
}

TEST(EventStream, AWakeCallbackMayTakeValuesWithoutDeadlock) {
    EventStream<int> stream(4);
    std::vector<int> taken;
    stream.setWake([&] {
        while (auto value = stream.next()) taken.push_back(*value);
    });
    stream.publish(1);
    stream.publish(2);
    EXPECT_EQ(taken, (std::vector<int>{1, 2}));
}

} // namespace
} // namespace orvik::helper
