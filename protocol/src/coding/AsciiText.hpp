#pragma once

#include <algorithm>
#include <string_view>

namespace orvik::ascii {

// Locale-free: the protocol's names and URL parts are ASCII whatever the host's locale.
constexpr char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

} // namespace orvik::ascii
