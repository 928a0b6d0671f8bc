#include "pro/URLPolicy.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

class URLPolicyFixture : public ::testing::TestWithParam<std::pair<std::string, bool>> {};

TEST_P(URLPolicyFixture, AllowsOnlyWebLinksWithAHostWrittenAsOneURI) {
    EXPECT_EQ(URLPolicy::isAllowed(GetParam().first), GetParam().second) << GetParam().first;
}

std::string ofLength(std::size_t length, std::string_view tail = "") {
    std::string url = "https://example.org/";
    url.append(length - url.size() - tail.size(), 'a');
    return url.append(tail);
}

INSTANTIATE_TEST_SUITE_P(
    Links, URLPolicyFixture,
    ::testing::Values(
        std::pair{std::string("https://example.org/a?b=1#c"), true},
        std::pair{std::string("HTTP://user@example.org:8080"), true}, std::pair{std::string("http://[::1]:80/"), true},
        std::pair{std::string("https://%41/"), true}, std::pair{std::string("ftp://example.org/"), false},
        std::pair{std::string("mailto:someone@example.org"), false},
        std::pair{std::string("file:///etc/passwd"), false},
        std::pair{std::string("javascript:alert(1)//https://example.org"), false},
        std::pair{std::string("https:example.org"), false}, std::pair{std::string("https:///path"), false},
        std::pair{std::string("https://user@:80/"), false}, std::pair{std::string("https://example.org:x/"), false},
        std::pair{std::string("https://%zz/"), false}, std::pair{std::string("https://%/"), false},
        std::pair{std::string("https://%4/"), false}, std::pair{std::string("https://[]/"), false},
        std::pair{std::string("https://[]:80/"), false}, std::pair{std::string("https://[::1"), false},
        std::pair{std::string("https://[::1]x/"), false}, std::pair{std::string("https://a]b/"), false},
        std::pair{std::string("https://[a[b]/"), false}, std::pair{std::string("https://[%]/"), false},
        std::pair{std::string("https://user@[::1]/"), true}, std::pair{std::string("https://[::1]:/"), true},
        std::pair{std::string("https://example.org/a b"), false},
        std::pair{std::string("https://example.org/\nhttps://evil"), false},
        std::pair{std::string("https://example.org/\t"), false},
        std::pair{std::string("https://example.org/\xE2\x80\xA8"), false},
        std::pair{std::string("https://example.org/\"<>"), false}, std::pair{std::string(""), false},
        std::pair{std::string("https://example.org/a|b"), false},
        std::pair{std::string("https://example.org/a\\b"), false},
        std::pair{std::string("https://example.org/a^b"), false},
        std::pair{std::string("https://example.org/a`b"), false},
        std::pair{std::string("https://example.org/{a}"), false},
        std::pair{std::string("https://example.org/a%7Cb%5E%60"), true},
        std::pair{std::string("https://example.org/caf\xC3\xA9"), true},
        std::pair{std::string("https://example.org:65535/"), true},
        std::pair{std::string("https://example.org:0/"), true},
        std::pair{std::string("https://example.org:00080/"), true},
        std::pair{std::string("https://example.org:/"), true},
        std::pair{std::string("https://example.org:65536/"), false},
        std::pair{std::string("https://example.org:99999/"), false},
        std::pair{std::string("https://[::1]:99999999999999999999/"), false}, std::pair{ofLength(8192), true},
        std::pair{ofLength(8193), false}, std::pair{ofLength(8192, "\xC3\xA9"), true},
        std::pair{ofLength(8193, "\xC3\xA9"), false}));

} // namespace
} // namespace orvik::helper
