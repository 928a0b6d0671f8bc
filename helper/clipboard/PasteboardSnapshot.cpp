#include "clipboard/PasteboardSnapshot.hpp"

#include <unicode/unistr.h>

namespace orvik::helper {

PasteboardSnapshot PasteboardSnapshot::text(std::string_view text) {
    Item item;
    item.emplace(std::string(plainTextType), Bytes(text.begin(), text.end()));
    return PasteboardSnapshot{{std::move(item)}};
}

std::optional<std::string> PasteboardSnapshot::text() const {
    if (items.empty()) return std::nullopt;
    auto found = items.front().find(std::string(plainTextType));
    if (found == items.front().end()) return std::nullopt;
    const Bytes& data = found->second;
    // Decoding through UTF-16 replaces every ill-formed sequence with U+FFFD.
    auto decoded = icu::UnicodeString::fromUTF8(
        icu::StringPiece(reinterpret_cast<const char*>(data.data()), static_cast<std::int32_t>(data.size())));
    std::string result;
    decoded.toUTF8String(result);
    return result;
}

} // namespace orvik::helper
