#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvik {

// Query-value text of URLs.
struct UrlText {
    UrlText() = delete;

    // Percent-encodes every byte except letters, digits and - . _ ~ ! $ ' ( ) * , ; : @ / ? (upper-case hex).
    // This is the query-item encoding of common URL libraries with "&", "=" and also "+" encoded, so no reader
    // takes a "+" for a space.
    static std::string percentEncoded(std::string_view value);
    // Absent when a "%" is not followed by two hexadecimal digits. "+" stays "+".
    static std::optional<std::string> percentDecoded(std::string_view text);

    // Well-formed UTF-8: no stray continuation bytes, overlong forms, surrogates or code points past U+10FFFF.
    static bool isValidUtf8(std::string_view text);
    // The text with every ill-formed byte replaced by U+FFFD.
    static std::string repairedUtf8(std::string_view text);
};

} // namespace orvik
