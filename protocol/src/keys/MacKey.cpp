#include "orvik/protocol/keys/MacKey.hpp"

#include "coding/AsciiText.hpp"

#include <algorithm>

namespace orvik {

namespace {

struct KeyName {
    MacKey key;
    std::string_view name;
};

// Ordered by code. The names are what key-combination text prints.
constexpr std::array<KeyName, 79> keyNames{{
    {MacKey::a, "a"},
    {MacKey::s, "s"},
    {MacKey::d, "d"},
    {MacKey::f, "f"},
    {MacKey::h, "h"},
    {MacKey::g, "g"},
    {MacKey::z, "z"},
    {MacKey::x, "x"},
    {MacKey::c, "c"},
    {MacKey::v, "v"},
    {MacKey::b, "b"},
    {MacKey::q, "q"},
    {MacKey::w, "w"},
    {MacKey::e, "e"},
    {MacKey::r, "r"},
    {MacKey::y, "y"},
    {MacKey::t, "t"},
    {MacKey::digit1, "1"},
    {MacKey::digit2, "2"},
    {MacKey::digit3, "3"},
    {MacKey::digit4, "4"},
    {MacKey::digit6, "6"},
    {MacKey::digit5, "5"},
    {MacKey::equal, "equal"},
    {MacKey::digit9, "9"},
    {MacKey::digit7, "7"},
    {MacKey::minus, "minus"},
    {MacKey::digit8, "8"},
    {MacKey::digit0, "0"},
    {MacKey::rightBracket, "rightBracket"},
    {MacKey::o, "o"},
    {MacKey::u, "u"},
    {MacKey::leftBracket, "leftBracket"},
    {MacKey::i, "i"},
    {MacKey::p, "p"},
    {MacKey::returnKey, "return"},
    {MacKey::l, "l"},
    {MacKey::j, "j"},
    {MacKey::quote, "quote"},
    {MacKey::k, "k"},
    {MacKey::semicolon, "semicolon"},
    {MacKey::backslash, "backslash"},
    {MacKey::comma, "comma"},
    {MacKey::slash, "slash"},
    {MacKey::n, "n"},
    {MacKey::m, "m"},
    {MacKey::period, "period"},
    {MacKey::tab, "tab"},
    {MacKey::space, "space"},
    {MacKey::grave, "grave"},
    {MacKey::deleteKey, "delete"},
    {MacKey::escape, "escape"},
    {MacKey::command, "command"},
    {MacKey::shift, "shift"},
    {MacKey::capsLock, "capsLock"},
    {MacKey::option, "option"},
    {MacKey::control, "control"},
    {MacKey::function, "function"},
    {MacKey::f5, "f5"},
    {MacKey::f6, "f6"},
    {MacKey::f7, "f7"},
    {MacKey::f3, "f3"},
    {MacKey::f8, "f8"},
    {MacKey::f9, "f9"},
    {MacKey::f11, "f11"},
    {MacKey::f10, "f10"},
    {MacKey::f12, "f12"},
    {MacKey::home, "home"},
    {MacKey::pageUp, "pageUp"},
    {MacKey::forwardDelete, "forwardDelete"},
    {MacKey::f4, "f4"},
    {MacKey::end, "end"},
    {MacKey::f2, "f2"},
    {MacKey::pageDown, "pageDown"},
    {MacKey::f1, "f1"},
    {MacKey::leftArrow, "leftArrow"},
    {MacKey::rightArrow, "rightArrow"},
    {MacKey::downArrow, "downArrow"},
    {MacKey::upArrow, "upArrow"},
}};

// Further names a person may write; never printed.
constexpr std::array<KeyName, 22> keyAliases{{
    {MacKey::equal, "="},
    {MacKey::minus, "-"},
    {MacKey::rightBracket, "]"},
    {MacKey::leftBracket, "["},
    {MacKey::quote, "'"},
    {MacKey::semicolon, ";"},
    {MacKey::backslash, "\\"},
    {MacKey::comma, ","},
    {MacKey::slash, "/"},
    {MacKey::period, "."},
    {MacKey::grave, "`"},
    {MacKey::returnKey, "enter"},
    {MacKey::deleteKey, "backspace"},
    {MacKey::escape, "esc"},
    {MacKey::leftArrow, "left"},
    {MacKey::rightArrow, "right"},
    {MacKey::downArrow, "down"},
    {MacKey::upArrow, "up"},
    {MacKey::pageUp, "pgup"},
    {MacKey::pageDown, "pgdn"},
    {MacKey::returnKey, "returnKey"},
    {MacKey::deleteKey, "deleteKey"},
}};

constexpr std::array<MacKey, 79> keysInCodeOrder() {
    std::array<MacKey, 79> keys{};
    for (std::size_t i = 0; i < keyNames.size(); ++i) keys[i] = keyNames[i].key;
    return keys;
}

} // namespace

const std::array<MacKey, 79> allMacKeys = keysInCodeOrder();

std::optional<MacKey> macKey(std::uint16_t raw) {
    auto found =
        std::find_if(keyNames.begin(), keyNames.end(), [raw](const KeyName& k) { return rawValue(k.key) == raw; });
    if (found == keyNames.end()) return std::nullopt;
    return found->key;
}

std::optional<ModifierFlags> modifierFlag(MacKey key) {
    switch (key) {
    case MacKey::command: return ModifierFlags::command;
    case MacKey::shift: return ModifierFlags::shift;
    case MacKey::option: return ModifierFlags::option;
    case MacKey::control: return ModifierFlags::control;
    case MacKey::function: return ModifierFlags::function;
    default: return std::nullopt;
    }
}

std::string_view name(MacKey key) {
    for (const auto& entry : keyNames) {
        if (entry.key == key) return entry.name;
    }
    return {};
}

std::optional<MacKey> macKeyNamed(std::string_view text) {
    for (const auto& entry : keyNames) {
        if (ascii::equalIgnoringCase(entry.name, text)) return entry.key;
    }
    for (const auto& entry : keyAliases) {
        if (ascii::equalIgnoringCase(entry.name, text)) return entry.key;
    }
    return std::nullopt;
}

} // namespace orvik
