#include "AvahiTestSupport.hpp"
#include "ServerHarness.hpp"
#include "listener/AvahiAdvertiser.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

using namespace orvik;
using namespace orvik::helper;
using orvik::test::ServerHarness;
using namespace std::chrono_literals;

namespace {

using ServerAdvertisingTest = orvik::test::AvahiDaemonTest;

// The resolved line ("=;…") of `avahi-browse -p` for the service on `port`, split at ";".
std::vector<std::string> resolvedLineForPort(std::uint16_t port) {
    std::istringstream lines(orvik::test::browseOrvikServices());
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("=;")) continue;
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, ';');) fields.push_back(field);
        if (fields.size() >= 10 && fields[8] == std::to_string(port)) return fields;
    }
    return {};
}

TEST_F(ServerAdvertisingTest, TheListenerIsAdvertisedWithTheIdentityAndThePairingWindowNamesTheDaemonsHost) {
    startDaemon();
    ServerHarness::Options options;
    options.listenerOptions = {.advertise = true, .loopbackOnly = true, .portDefaultsKey = std::nullopt};
    options.makeAdvertiser = AvahiAdvertiser::factory();
    ServerHarness harness(std::move(options));
    harness.start();

    ASSERT_TRUE(orvik::test::browseSees(";" + std::to_string(harness.port) + ";", 15s));
    auto fields = resolvedLineForPort(harness.port);
    ASSERT_FALSE(fields.empty()) << orvik::test::browseOrvikServices();
    const std::string& txt = fields[9];
    EXPECT_NE(txt.find("\"id=" + harness.identity.helperID.text() + "\""), std::string::npos) << txt;
    EXPECT_NE(txt.find("\"pv=1\""), std::string::npos) << txt;
    EXPECT_NE(txt.find("\"hv=1.0\""), std::string::npos) << txt;
    EXPECT_NE(txt.find("\"m=TestModel1,1\""), std::string::npos) << txt;

    // The daemon's host name reaches the pairing window's addresses once the service is registered.
    const std::string& hostName = fields[6];
    HostPort expected{hostName, harness.port};
    bool named = harness.waitUntil(
        [&](HelperServer& server) {
            auto info = server.startPairing();
            return info && std::ranges::find(info->addresses, expected) != info->addresses.end();
        },
        10s);
    EXPECT_TRUE(named) << "expected " << expected.description();
}

} // namespace
