#pragma once

#include <cstddef>
#include <string_view>

namespace orvik::helper {

// Which links from the phone may be opened: absolute web links (http or https, the scheme in any case) with a
// non-empty host, written as one URI without white space or control characters, at most maxLength bytes long.
class URLPolicy {
public:
    URLPolicy() = delete;

    // The longest link, in bytes of UTF-8.
    static constexpr std::size_t maxLength = 8192;

    static bool isAllowed(std::string_view url);
};

} // namespace orvik::helper
