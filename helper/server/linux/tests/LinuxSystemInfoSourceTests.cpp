#include "server/linux/LinuxSystemInfoSource.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

TEST(LinuxSystemInfoSource, TheRealHostAnswersWithoutFailing) {
    auto& info = *hostSystemInfo();
    EXPECT_FALSE(info.computerName().empty());
    EXPECT_FALSE(info.modelIdentifier().empty());
    for (const auto& address : info.reachableAddresses(7)) {
        EXPECT_EQ(address.port, 7);
        EXPECT_FALSE(address.host.starts_with("127."));
    }
}

} // namespace
} // namespace orvik::helper
