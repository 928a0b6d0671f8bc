#pragma once

#include "orvik/protocol/coding/Bytes.hpp"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvik::helper {

// A full copy of the clipboard: one type-to-data map per item, items in clipboard order.
struct PasteboardSnapshot {
    using Item = std::map<std::string, Bytes>;

    // The plain-text type every clipboard backend maps to its own name for UTF-8 text.
    static constexpr std::string_view plainTextType = "text/plain;charset=utf-8";

    std::vector<Item> items;

    // One item holding only the UTF-8 bytes of `text` under the plain-text type.
    static PasteboardSnapshot text(std::string_view text);

    // The first item's plain text, ill-formed UTF-8 replaced by U+FFFD; absent when the first item has none.
    // Later items are not looked at.
    std::optional<std::string> text() const;

    friend bool operator==(const PasteboardSnapshot&, const PasteboardSnapshot&) = default;
};

} // namespace orvik::helper
