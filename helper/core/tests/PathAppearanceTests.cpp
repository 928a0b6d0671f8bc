#include "core/PathAppearance.hpp"
#include "core/tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <poll.h>

#include <fstream>

namespace orvik::helper {
namespace {

namespace fs = std::filesystem;

// Whether the watch became readable within a moment (the kernel queues the notice as the file is made).
bool readable(const PathAppearance& watch) {
    pollfd wait{watch.descriptor(), POLLIN, 0};
    return ::poll(&wait, 1, 1000) == 1;
}

void touch(const fs::path& path) {
    std::ofstream(path) << "";
}

TEST(PathAppearance, SaysWhenTheFileIsMadeAlsoBelowFoldersThatDoNotExistYet) {
    testing::TemporaryDirectory root;
    const fs::path socket = root.path() / "run" / "dbus" / "system_bus_socket";
    PathAppearance watch(socket);
    ASSERT_GE(watch.descriptor(), 0);
    EXPECT_FALSE(watch.appeared());

    touch(root.path() / "unrelated");
    fs::create_directory(root.path() / "run");
    ASSERT_TRUE(readable(watch));
    EXPECT_FALSE(watch.appeared()); // one folder nearer
    fs::create_directory(root.path() / "run" / "dbus");
    ASSERT_TRUE(readable(watch));
    EXPECT_FALSE(watch.appeared());
    touch(root.path() / "run" / "dbus" / "pid");
    ASSERT_TRUE(readable(watch));
    EXPECT_FALSE(watch.appeared()); // another file of that folder
    touch(socket);
    ASSERT_TRUE(readable(watch));
    EXPECT_TRUE(watch.appeared());

    // A daemon started again makes its socket anew.
    fs::remove(socket);
    touch(socket);
    ASSERT_TRUE(readable(watch));
    EXPECT_TRUE(watch.appeared());
    EXPECT_FALSE(readable(watch));
}

struct AddressCase {
    std::string address;
    std::optional<std::string> socket;
};

class BusAddressSocket : public ::testing::TestWithParam<AddressCase> {};

TEST_P(BusAddressSocket, IsTheFirstUnixPathEntryUnescaped) {
    const auto socket = PathAppearance::socketOfBusAddress(GetParam().address);
    EXPECT_EQ(socket ? std::optional<std::string>(socket->string()) : std::nullopt, GetParam().socket);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, BusAddressSocket,
    ::testing::Values(AddressCase{"unix:path=/run/dbus/system_bus_socket", "/run/dbus/system_bus_socket"},
                      AddressCase{"unix:guid=1234,path=/tmp/a%20b", "/tmp/a b"},
                      AddressCase{"unix:abstract=/tmp/dbus-x;unix:path=/tmp/second", "/tmp/second"},
                      AddressCase{"tcp:host=localhost,port=1234", std::nullopt},
                      AddressCase{"unix:path=/tmp/bad%2", std::nullopt}, AddressCase{"", std::nullopt}));

} // namespace
} // namespace orvik::helper
