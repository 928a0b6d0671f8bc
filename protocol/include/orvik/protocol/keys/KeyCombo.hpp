#pragma once

#include "orvik/protocol/keys/MacKey.hpp"
#include "orvik/protocol/keys/ModifierFlags.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace orvik {

// One key with the modifiers held for it, as stored in presets and settings.
//
// Text form: modifier names then the key name, joined by "+", e.g. "ctrl+cmd+q". The last part is always the
// key, every earlier part a distinct modifier: "ctrl"/"control", "opt"/"option"/"alt", "shift",
// "cmd"/"command", "fn"/"function". Key names are those of name(MacKey) plus the aliases macKeyNamed() accepts.
// Parsing ignores case and surrounding spaces of each part; printing uses the first spelling of each modifier
// in the order ctrl, opt, shift, cmd, fn.
struct KeyCombo {
    MacKey key = MacKey::a;
    ModifierFlags modifiers;

    // Absent for empty parts, unknown names and repeated modifiers.
    static std::optional<KeyCombo> parse(std::string_view text);
    // Only the five named modifier bits are printed.
    std::string text() const;

    friend bool operator==(const KeyCombo&, const KeyCombo&) = default;
};

} // namespace orvik
