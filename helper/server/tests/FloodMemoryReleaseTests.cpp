#include "server/FloodMemoryRelease.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;

// The pool's comings and goings on an io_context the test runs; counts the releases.
struct Pool {
    asio::io_context io;
    int releases = 0;
    FloodMemoryRelease memory{io.get_executor(), [this] { ++releases; }};

    void enter(std::size_t count) {
        for (std::size_t index = 0; index < count; ++index) memory.entered();
    }
    // Runs until nothing is left to wait for: the release, when one was due.
    void settle() {
        io.restart();
        io.run_for(FloodMemoryRelease::settleTime + 10s);
    }
};

// Mend: after a flood the heap kept what the connections inside TLS had freed.
TEST(FloodMemoryRelease, AFloodIsGivenBackOnceAfterThePoolDrainsAndAPhonesConnectionsNever) {
    Pool pool;
    pool.enter(FloodMemoryRelease::floodSize - 1);
    pool.memory.drained();
    pool.settle();
    EXPECT_EQ(pool.releases, 0) << "a phone connecting now and then";

    pool.enter(1);
    for (int drain = 0; drain < 100; ++drain) pool.memory.drained(); // strangers that come and go
    EXPECT_EQ(pool.releases, 0) << "not at once";
    pool.settle();
    EXPECT_EQ(pool.releases, 1);

    pool.memory.drained();
    pool.settle();
    EXPECT_EQ(pool.releases, 1) << "nothing new since";
    pool.enter(FloodMemoryRelease::floodSize);
    pool.memory.drained();
    pool.settle();
    EXPECT_EQ(pool.releases, 2) << "the next flood";
}

} // namespace
} // namespace orvik::helper
