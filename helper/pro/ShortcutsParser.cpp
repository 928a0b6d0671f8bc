#include "pro/ShortcutsParser.hpp"

#include "core/UnicodeText.hpp"

#include <unicode/uchar.h>

#include <set>

namespace orvik::helper {

namespace {

bool isNewline(UChar32 c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isHorizontalSpace(UChar32 c) {
    return c == '\t' || u_charType(c) == U_SPACE_SEPARATOR;
}

void addTrimmed(const icu::UnicodeString& text, std::int32_t start, std::int32_t limit,
                std::vector<std::string>& lines) {
    while (start < limit && isHorizontalSpace(text.char32At(start))) start = text.moveIndex32(start, 1);
    while (limit > start) {
        const std::int32_t last = text.moveIndex32(limit, -1);
        if (!isHorizontalSpace(text.char32At(last))) break;
        limit = last;
    }
    if (limit > start) lines.push_back(UnicodeText::toUtf8(text.tempSubStringBetween(start, limit)));
}

} // namespace

std::vector<std::string> ShortcutsParser::lines(std::string_view output) {
    const icu::UnicodeString text = UnicodeText::fromUtf8(output);
    std::vector<std::string> lines;
    std::int32_t start = 0;
    for (std::int32_t index = 0; index < text.length(); index = text.moveIndex32(index, 1)) {
        if (!isNewline(text.char32At(index))) continue;
        addTrimmed(text, start, index, lines);
        start = index + 1;
    }
    addTrimmed(text, start, text.length(), lines);
    return lines;
}

std::vector<ShortcutInfo> ShortcutsParser::combine(const std::vector<std::string>& all,
                                                   const std::map<std::string, std::vector<std::string>>& folders) {
    std::map<std::string, std::string> folderOf;
    for (const auto& [folder, names] : folders) {
        for (const auto& name : names) folderOf.try_emplace(name, folder);
    }
    std::vector<ShortcutInfo> shortcuts;
    std::set<std::string> emitted;
    for (const auto& name : all) {
        if (!emitted.insert(name).second) continue;
        const auto found = folderOf.find(name);
        shortcuts.push_back({name, found == folderOf.end() ? std::nullopt : std::optional(found->second)});
    }
    return shortcuts;
}

} // namespace orvik::helper
