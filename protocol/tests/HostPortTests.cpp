#include "orvik/protocol/pairing/HostPort.hpp"

#include <gtest/gtest.h>

#include <unordered_set>

using namespace orvik;

TEST(HostPort, DescriptionBracketsHostsWithColonsAndParsesBack) {
    const std::pair<HostPort, const char*> cases[] = {
        {{"192.168.1.20", 52100}, "192.168.1.20:52100"},
        {{"Anas-Mac.local", 0}, "Anas-Mac.local:0"},
        {{"fe80::1", 65535}, "[fe80::1]:65535"},
        {{"fe80::1%en0", 7}, "[fe80::1%en0]:7"},
        {{"x", 1}, "x:1"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(value.description(), text);
        EXPECT_EQ(HostPort::parse(text), value) << text;
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
    std::unordered_set<HostPort> set{{"a", 1}, {"a", 2}, {"b", 1}, {"a", 1}, {"A", 1}};
    EXPECT_EQ(set.size(), 4u);
}
