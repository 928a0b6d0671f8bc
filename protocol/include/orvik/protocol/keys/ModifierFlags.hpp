#pragma once

#include "orvik/protocol/coding/OptionSet.hpp"

#include <cstdint>

namespace orvik {

// Modifier keys held with a key, as carried by key events and key combinations.
struct ModifierFlags : OptionSet<ModifierFlags, std::uint32_t> {
    using OptionSet::OptionSet;

    static const ModifierFlags command;
    static const ModifierFlags shift;
    static const ModifierFlags option;
    static const ModifierFlags control;
    static const ModifierFlags function;
};

inline constexpr ModifierFlags ModifierFlags::command{1};
inline constexpr ModifierFlags ModifierFlags::shift{2};
inline constexpr ModifierFlags ModifierFlags::option{4};
inline constexpr ModifierFlags ModifierFlags::control{8};
inline constexpr ModifierFlags ModifierFlags::function{16};

} // namespace orvik
