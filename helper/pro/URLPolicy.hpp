#pragma once

#include <cstddef>
#include <string_view>

namespace orvik::helper {

// Which links from the phone may be opened: absolute web links (http or https, the scheme in any case, then "//")
// with a host that is not empty once percent-decoded (for an IP literal, what its brackets hold) and, when there
// is one, a port of 0 to 65535, at most maxLength bytes long. Characters that a URI never holds unescaped are
// refused rather than guessed at: white space, control characters, the Unicode line separators (NEL, U+2028,
// U+2029) and " < > \ ^ ` { | }. Other non-ASCII text passes as it is.
class URLPolicy {
public:
    URLPolicy() = delete;

    // The longest link, in bytes of UTF-8.
    static constexpr std::size_t maxLength = 8192;

    static bool isAllowed(std::string_view url);
};

} // namespace orvik::helper
