#include "orvik/protocol/keys/KeyCombo.hpp"

#include "coding/AsciiText.hpp"

#include <algorithm>
#include <array>
#include <vector>

namespace orvik {

namespace {

struct ModifierName {
    ModifierFlags flag;
    std::string_view printed;
    std::array<std::string_view, 2> aliases;
};

// Printing order: the order the modifier glyphs are shown on a Mac.
constexpr std::array<ModifierName, 5> modifierNames{{
    {ModifierFlags::control, "ctrl", {"control", ""}},
    {ModifierFlags::option, "opt", {"option", "alt"}},
    {ModifierFlags::shift, "shift", {"", ""}},
    {ModifierFlags::command, "cmd", {"command", ""}},
    {ModifierFlags::function, "fn", {"function", ""}},
}};

constexpr char separator = '+';

std::string_view trimmed(std::string_view part) {
    auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
    while (!part.empty() && isSpace(part.front())) part.remove_prefix(1);
    while (!part.empty() && isSpace(part.back())) part.remove_suffix(1);
    return part;
}

std::optional<ModifierFlags> modifierNamed(std::string_view text) {
    for (const auto& modifier : modifierNames) {
        if (ascii::equalIgnoringCase(text, modifier.printed)) return modifier.flag;
        for (auto alias : modifier.aliases) {
            if (!alias.empty() && ascii::equalIgnoringCase(text, alias)) return modifier.flag;
        }
    }
    return std::nullopt;
}

std::vector<std::string_view> split(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        auto end = text.find(separator, start);
        parts.push_back(
            trimmed(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start)));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

} // namespace

std::optional<KeyCombo> KeyCombo::parse(std::string_view text) {
    auto parts = split(text);
    if (std::any_of(parts.begin(), parts.end(), [](std::string_view part) { return part.empty(); }))
        return std::nullopt;
    auto key = macKeyNamed(parts.back());
    if (!key) return std::nullopt;
    ModifierFlags modifiers;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        auto flag = modifierNamed(parts[i]);
        if (!flag || modifiers.contains(*flag)) return std::nullopt;
        modifiers.insert(*flag);
    }
    return KeyCombo{*key, modifiers};
}

std::string KeyCombo::text() const {
    std::string out;
    for (const auto& modifier : modifierNames) {
        if (!modifiers.contains(modifier.flag)) continue;
        out.append(modifier.printed);
        out.push_back(separator);
    }
    out.append(name(key));
    return out;
}

} // namespace orvik
