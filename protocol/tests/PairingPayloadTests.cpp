#include "orvik/protocol/pairing/PairingPayload.hpp"

#include <gtest/gtest.h>

#include <numeric>

using namespace orvik;

namespace {

Bytes countingSecret() {
    Bytes secret(32);
    std::iota(secret.begin(), secret.end(), 0);
    return secret;
}

PairingPayload examplePayload() {
    return {*Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"),
            "Ana's Mac & Co = #1 + Café",
            {{"192.168.1.20", 52100}, {"Anas-Mac.local", 52100}, {"fe80::1%en0", 52100}},
            countingSecret()};
}

constexpr const char* exampleURL = "orvik://pair?v=1&h=E621E1F8-C36C-495A-93FC-0C247A3E6E5F"
                                   "&n=Ana's%20Mac%20%26%20Co%20%3D%20%231%20%2B%20Caf%C3%A9"
                                   "&a=192.168.1.20:52100,Anas-Mac.local:52100,%5Bfe80::1%25en0%5D:52100"
                                   "&s=AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8";

std::string withItem(const std::string& url, const std::string& name, const std::string& value) {
    auto start = url.find("&" + name + "=");
    if (start == std::string::npos) start = url.find("?" + name + "=");
    auto end = url.find('&', start + 1);
    return url.substr(0, start + 1) + name + "=" + value + (end == std::string::npos ? "" : url.substr(end));
}

} // namespace

TEST(PairingPayload, UrlEncodesReservedCharactersAndNonAscii) {
    EXPECT_EQ(examplePayload().url(), exampleURL);
}

TEST(PairingPayload, EmptyNameAndNoAddresses) {
    PairingPayload payload{Uuid(), "", {}, Bytes(32, 0xFF)};
    EXPECT_EQ(payload.url(), "orvik://pair?v=1&h=00000000-0000-0000-0000-000000000000&n=&a="
                             "&s=__________________________________________8");
    EXPECT_EQ(PairingPayload::parse(payload.url()), payload);
}

TEST(PairingPayload, UrlStaysReadableWithUnusualNamesAndHosts) {
    auto payload = examplePayload();
    payload.macName = "Caf\xE9 \xC3"; // Latin-1 bytes, then a cut-off sequence
    payload.addresses = {{"10.0.0.2", 1}, {"bad,host", 2}, {"", 3}, {"mac.local", 4}};
    auto parsed = PairingPayload::parse(payload.url());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->macName, "Caf\xEF\xBF\xBD \xEF\xBF\xBD");
    EXPECT_EQ(parsed->addresses, (std::vector<HostPort>{{"10.0.0.2", 1}, {"mac.local", 4}}));
}

TEST(PairingPayload, ParsesItsOwnUrl) {
    EXPECT_EQ(PairingPayload::parse(exampleURL), examplePayload());
    for (const char* name :
         {"a&b=c", "100% + more", "tab\there", "emoji \xF0\x9F\x98\x80", "?/:@!$'()*,;", "%41", "x+y", "#hash&amp;"}) {
        auto payload = examplePayload();
        payload.macName = name;
        EXPECT_EQ(PairingPayload::parse(payload.url()), payload) << name;
    }
}

TEST(PairingPayload, ParseIsLenientAboutCaseOrderAndUnknownItems) {
    auto payload = examplePayload();
    std::string reordered = "ORVIK://Pair/?s=AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8&x=9&n=Ana's%20Mac%20%26%20Co"
                            "%20%3d%20%231%20%2b%20Caf%c3%a9&a=192.168.1.20:52100,Anas-Mac.local:52100,%5Bfe80::1%25en0"
                            "%5D:52100&h=e621e1f8-c36c-495a-93fc-0c247a3e6e5f&v=1";
    EXPECT_EQ(PairingPayload::parse(reordered), payload);
}

TEST(PairingPayload, RejectsBrokenUrls) {
    std::string url = exampleURL;
    const std::string broken[] = {
        "",
        "orvik://pair",
        "http://pair?" + url.substr(url.find('?') + 1),
        "orvik://pairing?" + url.substr(url.find('?') + 1),
        "orvik://pair/x?" + url.substr(url.find('?') + 1),
        url + "#fragment",
        url + "&v=1",
        withItem(url, "v", "2"),
        withItem(url, "v", ""),
        withItem(url, "h", "not-a-uuid"),
        withItem(url, "n", "bad%2"),
        withItem(url, "n", "bad%zz"),
        withItem(url, "n", "%C3"),
        withItem(url, "n", "%ED%A0%80"),
        withItem(url, "n", "%C0%AF"),
        withItem(url, "a", "host"),
        withItem(url, "a", "a:1,,b:2"),
        withItem(url, "s", "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHg"),
        withItem(url, "s", "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8="),
        url.substr(0, url.find("&s=")),
        url.substr(0, url.find("&s=")) + "&s",
    };
    for (const auto& text : broken) {
        EXPECT_FALSE(PairingPayload::parse(text)) << text;
    }
}
