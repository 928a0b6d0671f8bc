#include "clipboard/PasteboardSnapshot.hpp"

#include "core/UnicodeText.hpp"

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
    return UnicodeText::wellFormed(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

} // namespace orvik::helper
