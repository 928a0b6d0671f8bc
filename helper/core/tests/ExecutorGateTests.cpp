#include "core/ExecutorGate.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace orvik::helper {
namespace {

// A report from another thread reaches the loop until the gate closes; afterwards nothing is posted.
TEST(ExecutorGate, PostsUntilClosedAndNothingAfter) {
    int ran = 0;
    asio::io_context loop;
    auto gate = std::make_shared<ExecutorGate>(loop.get_executor());
    std::thread([gate, &ran] { gate->post([&ran] { ++ran; }); }).join();
    loop.run();
    EXPECT_EQ(ran, 1);

    gate->close();
    gate->post([&ran] { ++ran; });
    loop.restart();
    loop.run();
    EXPECT_EQ(ran, 1);
}

} // namespace
} // namespace orvik::helper
