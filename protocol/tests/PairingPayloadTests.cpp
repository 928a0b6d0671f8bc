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

TEST(PairingPayload, UrlEncodesReservedCharactersAndNonAsciiAndParsesBack) {
    EXPECT_EQ(examplePayload().url(), exampleURL);
    EXPECT_EQ(PairingPayload::parse(exampleURL), examplePayload());
    PairingPayload empty{Uuid(), "", {}, Bytes(32, 0xFF)};
    EXPECT_EQ(empty.url(), "orvik://pair?v=1&h=00000000-0000-0000-0000-000000000000&n=&a="
                           "&s=__________________________________________8");
    EXPECT_EQ(PairingPayload::parse(empty.url()), empty);
    for (const char* name :
         {"a&b=c", "100% + more", "tab\there", "emoji \xF0\x9F\x98\x80", "?/:@!$'()*,;", "%41", "x+y", "#hash&amp;"}) {
        auto payload = examplePayload();
        payload.macName = name;
        EXPECT_EQ(PairingPayload::parse(payload.url()), payload) << name;
    }
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

TEST(PairingPayload, ParseIsLenientAboutCaseOrderAndUnknownItems) {
    auto payload = examplePayload();
    std::string reordered = "ORVIK://Pair/?s=AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8&x=9&n=Ana's%20Mac%20%26%20Co"
                            "%20%3d%20%231%20%2b%20Caf%c3%a9&a=192.168.1.20:52100,Anas-Mac.local:52100,%5Bfe80::1%25en0"
                            "%5D:52100&h=e621e1f8-c36c-495a-93fc-0c247a3e6e5f&v=1";
    EXPECT_EQ(PairingPayload::parse(reordered), payload);
}

TEST(PairingPayload, RejectsBrokenUrls) {
    const std::string url = exampleURL, query = url.substr(url.find('?') + 1),
                      withoutSecret = url.substr(0, url.find("&s="));
    for (const auto& text :
         {std::string(), std::string("orvik://pair"), "http://pair?" + query, "orvik://pairing?" + query,
          "orvik://pair/x?" + query, url + "#fragment", url + "&v=1", withoutSecret, withoutSecret + "&s"}) {
        EXPECT_FALSE(PairingPayload::parse(text)) << text;
    }
    const std::pair<const char*, const char*> badItems[] = {{"v", "2"},
                                                            {"v", ""},
                                                            {"h", "not-a-uuid"},
                                                            {"n", "bad%2"},
                                                            {"n", "bad%zz"},
                                                            {"n", "%C3"},
                                                            {"n", "%ED%A0%80"},
                                                            {"n", "%C0%AF"},
                                                            {"a", "host"},
                                                            {"a", "a:1,,b:2"},
                                                            {"s", "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHg"},
                                                            {"s", "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8="}};
    for (auto [item, value] : badItems)
        EXPECT_FALSE(PairingPayload::parse(withItem(url, item, value))) << item << value;
}
