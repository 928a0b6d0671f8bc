#include "clipboard/ClipboardContent.hpp"

#include "clipboard/PasteboardAccess.hpp"
#include "core/UnicodeText.hpp"

#include <algorithm>
#include <array>
#include <unicode/unistr.h>

namespace orvik::helper {

namespace {

std::shared_ptr<const Bytes> shared(Bytes bytes) {
    return std::make_shared<const Bytes>(std::move(bytes));
}

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

icu::UnicodeString decodeUtf8(ByteView bytes) {
    return UnicodeText::fromUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

} // namespace

ClipboardContent ClipboardContent::forText(std::string_view utf8) {
    auto text = shared(bytesOf(utf8));
    auto empty = shared({});
    const std::string utf8Type(utf8StringTarget);
    ClipboardContent content;
    content.targets = {
        {std::string(PasteboardSnapshot::plainTextType), std::string(PasteboardSnapshot::plainTextType), text},
        {utf8Type, utf8Type, text},
        {std::string(stringTarget), std::string(stringTarget), shared(latin1FromUtf8(utf8))},
        // TEXT lets the owner pick the encoding; UTF-8 loses nothing.
        {std::string(textTarget), utf8Type, text},
        {std::string(PasteboardAccess::transientType), std::string(PasteboardAccess::transientType), empty},
        {std::string(PasteboardAccess::concealedType), std::string(PasteboardAccess::concealedType), empty},
        {std::string(passwordManagerHintType), std::string(passwordManagerHintType),
         shared(bytesOf(passwordManagerHintValue))},
    };
    return content;
}

ClipboardContent ClipboardContent::fromSnapshot(const PasteboardSnapshot& snapshot) {
    ClipboardContent content;
    for (const auto& item : snapshot.items) {
        for (const auto& [type, data] : item) {
            if (!isSnapshotTarget(type) || content.find(type) != nullptr) continue;
            content.targets.push_back({type, type, shared(data)});
        }
    }
    return content;
}

PasteboardSnapshot ClipboardContent::snapshot() const {
    PasteboardSnapshot::Item item;
    for (const auto& target : targets) {
        if (target.type == target.name) item.emplace(target.name, *target.data);
    }
    PasteboardSnapshot result;
    if (!item.empty()) result.items.push_back(std::move(item));
    return result;
}

const ClipboardTarget* ClipboardContent::find(std::string_view name) const {
    auto found = std::find_if(targets.begin(), targets.end(), [&](const auto& t) { return t.name == name; });
    return found == targets.end() ? nullptr : &*found;
}

std::optional<std::string> ClipboardContent::text() const {
    for (auto name : {PasteboardSnapshot::plainTextType, utf8StringTarget}) {
        if (const auto* target = find(name)) return wellFormedUtf8(*target->data);
    }
    if (const auto* target = find(stringTarget)) return utf8FromLatin1(*target->data);
    return std::nullopt;
}

bool isSnapshotTarget(std::string_view name) {
    static constexpr std::array<std::string_view, 9> excluded{
        "TARGETS",         "TIMESTAMP", "MULTIPLE",
        "SAVE_TARGETS",    "DELETE",    "INSERT_SELECTION",
        "INSERT_PROPERTY", "INCR",      ClipboardContent::textTarget};
    return !name.empty() && std::find(excluded.begin(), excluded.end(), name) == excluded.end();
}

Bytes latin1FromUtf8(std::string_view utf8) {
    auto text = decodeUtf8(ByteView(reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size()));
    Bytes latin1;
    latin1.reserve(static_cast<std::size_t>(text.length()));
    for (std::int32_t index = 0; index < text.length(); index = text.moveIndex32(index, 1)) {
        UChar32 codePoint = text.char32At(index);
        latin1.push_back(codePoint <= 0xFF ? static_cast<std::uint8_t>(codePoint) : std::uint8_t{'?'});
    }
    return latin1;
}

std::string utf8FromLatin1(ByteView latin1) {
    std::string utf8;
    utf8.reserve(latin1.size());
    for (std::uint8_t byte : latin1) {
        if (byte < 0x80) {
            utf8.push_back(static_cast<char>(byte));
        } else {
            utf8.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return utf8;
}

std::string wellFormedUtf8(ByteView bytes) {
    return UnicodeText::toUtf8(decodeUtf8(bytes));
}

} // namespace orvik::helper
