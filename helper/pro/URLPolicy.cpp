#include "pro/URLPolicy.hpp"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

namespace orvik::helper {

namespace {

constexpr std::string_view neverInURI = "\"<>\\^`{|}";
constexpr unsigned long maxPort = 65535;
constexpr unsigned char deleteCharacter = 0x7F;
// NEL, LINE SEPARATOR and PARAGRAPH SEPARATOR: newlines that a handler might split a link at.
constexpr std::string_view unicodeNewlines[] = {"\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"};

bool hasForbiddenCharacter(std::string_view url) {
    const bool asciiForbidden = std::any_of(url.begin(), url.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= ' ' || byte == deleteCharacter || neverInURI.find(c) != std::string_view::npos;
    });
    return asciiForbidden || std::any_of(std::begin(unicodeNewlines), std::end(unicodeNewlines),
                                         [&](auto newline) { return url.find(newline) != std::string_view::npos; });
}

bool isWebScheme(std::string_view scheme) {
    std::string lower(scheme);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return lower == "http" || lower == "https";
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The percent-decoded text, absent when an escape is malformed.
std::optional<std::string> percentDecoded(std::string_view text) {
    std::string decoded;
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text[index] != '%') {
            decoded.push_back(text[index]);
            continue;
        }
        if (index + 2 >= text.size()) return std::nullopt;
        const int high = hexValue(text[index + 1]);
        const int low = hexValue(text[index + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        decoded.push_back(static_cast<char>(high * 16 + low));
        index += 2;
    }
    return decoded;
}

// An empty port (the scheme's own) or a decimal number that fits TCP's 16 bits.
bool isPort(std::string_view port) {
    unsigned long value = 0;
    for (const char c : port) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
        if (value > maxPort) return false;
    }
    return true;
}

// The host of an authority ("user@host:port"), without the brackets of an IP literal ("[::1]"); absent when the
// port is not one or a bracket is out of place ("[::1" or "a]b" are no hosts).
std::optional<std::string_view> hostOf(std::string_view authority) {
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    const auto closing = authority.rfind(']');
    const auto colon = authority.rfind(':');
    if (colon != std::string_view::npos && (closing == std::string_view::npos || colon > closing)) {
        if (!isPort(authority.substr(colon + 1))) return std::nullopt;
        authority = authority.substr(0, colon);
    }
    const bool literal = authority.starts_with('[');
    if (literal != authority.ends_with(']')) return std::nullopt;
    if (literal) authority = authority.substr(1, authority.size() - 2);
    if (authority.find_first_of("[]") != std::string_view::npos) return std::nullopt;
    return authority;
}

} // namespace

bool URLPolicy::isAllowed(std::string_view url) {
    if (hasForbiddenCharacter(url)) return false;
    const auto colon = url.find(':');
    if (colon == std::string_view::npos || !isWebScheme(url.substr(0, colon))) return false;
    const auto rest = url.substr(colon + 1);
    if (rest.substr(0, 2) != "//") return false;
    const auto authority = rest.substr(2, rest.find_first_of("/?#", 2) - 2);
    const auto host = hostOf(authority);
    if (!host) return false;
    const auto decodedHost = percentDecoded(*host);
    if (!decodedHost || decodedHost->empty()) return false;
    return url.size() <= maxLength;
}

} // namespace orvik::helper
