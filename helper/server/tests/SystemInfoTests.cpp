#include "server/SystemInfo.hpp"
#include "server/tests/FakeSystemInfoSource.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

using testing::FakeSystemInfoSource;

constexpr const char* routeTitles =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

std::string route(const std::string& name, const std::string& destination, const std::string& flags, int metric,
                  const std::string& mask) {
    return name + "\t" + destination + "\t0101A8C0\t" + flags + "\t0\t0\t" + std::to_string(metric) + "\t" + mask +
           "\t0\t0\t0\n";
}

struct Host {
    std::shared_ptr<FakeSystemInfoSource> source = std::make_shared<FakeSystemInfoSource>();
    SystemInfo info{source};
};

TEST(SystemInfoReachableAddresses, ListsEachRunningIPv4AddressOnceThenTheLocalHostName) {
    Host host;
    host.source->addIPv4("lo", "127.0.0.1", IFF_UP | IFF_RUNNING | IFF_LOOPBACK);
    EXPECT_TRUE(host.info.reachableAddresses(9).empty()) << "neither addresses nor a host name";
    host.source->addIPv4("eth0", "192.168.1.20");
    host.source->addIPv6("eth0", "fe80::1");
    host.source->addLink("eth0", {0x3c, 0x22, 0xfb, 0x01, 0xa0, 0x0f});
    host.source->addIPv4("wlan0", "169.254.3.4");
    host.source->addWithoutAddress("tun0");
    host.source->addIPv4("eth1", "10.0.0.5", IFF_UP);
    host.source->addIPv4("eth2", "10.0.0.6", IFF_RUNNING);
    host.source->addIPv4("eth3", "192.168.1.20");
    host.source->host = "studio.example.org";
    EXPECT_EQ(host.info.reachableAddresses(51234),
              (std::vector<HostPort>{{"192.168.1.20", 51234}, {"studio.local", 51234}}));
}

TEST(SystemInfoLocalHostName, PrefersTheNameTheMdnsDaemonUses) {
    Host host;
    host.source->host = "box";
    EXPECT_EQ(host.info.localHostName(), "box.local");
    host.info.setAdvertisedHostName("box-2");
    EXPECT_EQ(host.info.localHostName(), "box-2.local");
    host.info.setAdvertisedHostName(std::nullopt);
    EXPECT_EQ(host.info.localHostName(), "box.local");
    host.source->host = "";
    EXPECT_EQ(host.info.localHostName(), std::nullopt);
}

TEST(SystemInfoMacAddress, FormatsTheDefaultRouteInterfacesAddress) {
    Host host;
    host.source->addLink("wlp2s0", {0x3C, 0x22, 0xFB, 0x01, 0xA0, 0x0F});
    host.source->addLink("enp0s31f6", {0xA4, 0x5E, 0x60, 0xC1, 0x02, 0x03});
    host.source->files["/proc/net/route"] =
        std::string(routeTitles) + route("enp0s31f6", "0000A8C0", "0001", 100, "00FFFFFF") +
        route("enp0s31f6", "00000000", "0003", 600, "00000000") + route("wlp2s0", "00000000", "0003", 100, "00000000");
    EXPECT_EQ(host.info.primaryMACAddress(), "3c:22:fb:01:a0:0f") << "the lower metric wins; long names are fine";
    EXPECT_EQ(host.info.macAddress("enp0s31f6"), "a4:5e:60:c1:02:03");
}

TEST(SystemInfoMacAddress, IsAbsentWithoutADefaultRouteOrASixByteAddress) {
    Host host;
    host.source->addLink("tun0", {}, 0);
    host.source->addLink("ib0", {1, 2, 3, 4, 5, 6, 7, 8}, 8);
    EXPECT_EQ(host.info.primaryMACAddress(), std::nullopt) << "no route table";
    host.source->files["/proc/net/route"] = std::string(routeTitles) + route("tun0", "00000000", "0003", 0, "00000000");
    EXPECT_EQ(host.info.primaryMACAddress(), std::nullopt);
    EXPECT_EQ(host.info.macAddress("ib0"), std::nullopt);
    host.source->files["/proc/net/route"] = std::string(routeTitles) + route("eth0", "00000000", "0002", 0, "00000000");
    EXPECT_EQ(SystemInfo::defaultRouteInterface(host.source->files["/proc/net/route"]), std::nullopt)
        << "a route that is not up does not count";
}

TEST(SystemInfoComputerName, ReadsThePrettyHostNameElseTheKernelHostName) {
    Host host;
    host.source->host = "studio";
    EXPECT_EQ(host.info.computerName(), "studio");
    host.source->files["/etc/machine-info"] = "CHASSIS=laptop\nPRETTY_HOSTNAME=\"Anna’s \\\"Work\\\" Laptop\"\n";
    EXPECT_EQ(host.info.computerName(), "Anna’s \"Work\" Laptop");
    host.source->files["/etc/machine-info"] = "PRETTY_HOSTNAME=\n";
    EXPECT_EQ(host.info.computerName(), "studio");
    host.source->host = std::nullopt;
    EXPECT_EQ(host.info.computerName(), "Mac");
}

TEST(SystemInfoComputerName, UnquotesShellStyleValues) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases{
        {"PRETTY_HOSTNAME='Single quoted'", "Single quoted"},
        {"PRETTY_HOSTNAME=Escaped\\ space", "Escaped space"},
        {"# PRETTY_HOSTNAME=commented", std::nullopt},
        {"ICON_NAME=computer", std::nullopt},
    };
    for (const auto& [text, name] : cases) EXPECT_EQ(SystemInfo::prettyHostName(text), name) << text;
}

TEST(SystemInfoModel, ReadsTheProductNameElseTheDeviceTreeElseMac) {
    Host host;
    EXPECT_EQ(host.info.modelIdentifier(), "Mac");
    host.source->files["/proc/device-tree/model"] = std::string("Raspberry Pi 4 Model B Rev 1.4\0", 31);
    EXPECT_EQ(host.info.modelIdentifier(), "Raspberry Pi 4 Model B Rev 1.4");
    host.source->files["/sys/class/dmi/id/product_name"] = "  \n";
    EXPECT_EQ(host.info.modelIdentifier(), "Raspberry Pi 4 Model B Rev 1.4") << "a blank product name is skipped";
    host.source->files["/sys/class/dmi/id/product_name"] = "ThinkPad X1 Carbon Gen 9\xFF\n";
    EXPECT_EQ(host.info.modelIdentifier(), "ThinkPad X1 Carbon Gen 9\uFFFD");
}

} // namespace
} // namespace orvik::helper
