#include "orvik/protocol/pairing/HostPort.hpp"
#include "orvik/protocol/pairing/OrvikService.hpp"

#include <gtest/gtest.h>

#include <unordered_set>

using namespace orvik;

TEST(HostPort, DescriptionBracketsHostsWithColons) {
    EXPECT_EQ((HostPort{"192.168.1.20", 52100}.description()), "192.168.1.20:52100");
    EXPECT_EQ((HostPort{"Anas-Mac.local", 0}.description()), "Anas-Mac.local:0");
    EXPECT_EQ((HostPort{"fe80::1", 65535}.description()), "[fe80::1]:65535");
    EXPECT_EQ((HostPort{"fe80::1%en0", 7}.description()), "[fe80::1%en0]:7");
}

TEST(HostPort, ParsesWhatDescriptionPrints) {
    for (const HostPort& value : {HostPort{"10.0.0.1", 1}, HostPort{"mac.local", 65535}, HostPort{"::1", 80},
                                  HostPort{"fe80::1%en0", 52100}, HostPort{"x", 0}}) {
        EXPECT_EQ(HostPort::parse(value.description()), value) << value.description();
    }
    EXPECT_EQ(HostPort::parse("host:00080"), (HostPort{"host", 80}));
}

TEST(HostPort, RejectsMalformedText) {
    for (const char* bad :
         {"",         ":80",      "host",       "host:",     "host:65536",  "host:123456", "host:-1",
          "host:+80", "host:8 0", "fe80::1:80", "[fe80::1]", "[fe80::1]80", "[]:80",       "[a]b]:80",
          "[a:80",    "a b:80",   "a,b:80",     "host:80 ",  "\t:80",       "[fe80::1]:",  "host:0x50"}) {
        EXPECT_FALSE(HostPort::parse(bad)) << bad;
    }
}

TEST(HostPort, HashesAndComparesBothFields) {
    std::unordered_set<HostPort> set{{"a", 1}, {"a", 2}, {"b", 1}, {"a", 1}};
    EXPECT_EQ(set.size(), 3u);
    EXPECT_NE((HostPort{"a", 1}), (HostPort{"a", 2}));
    EXPECT_NE((HostPort{"a", 1}), (HostPort{"A", 1}));
}

TEST(OrvikService, AdvertisementNames) {
    EXPECT_EQ(OrvikService::bonjourType, "_orvik._tcp");
    EXPECT_EQ(OrvikService::TXTKey::helperID, "id");
    EXPECT_EQ(OrvikService::TXTKey::protocolVersion, "pv");
    EXPECT_EQ(OrvikService::TXTKey::helperVersion, "hv");
    EXPECT_EQ(OrvikService::TXTKey::model, "m");
}
