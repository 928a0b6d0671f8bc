#pragma once

#include <concepts>

namespace orvik {

// A set of named bits over an unsigned raw value. Bits nobody names survive unchanged, so a value read from
// a newer peer is passed on without loss.
template <class Derived, std::unsigned_integral Raw> struct OptionSet {
    using RawValue = Raw;

    Raw rawValue = 0;

    constexpr OptionSet() = default;
    explicit constexpr OptionSet(Raw raw) : rawValue(raw) {}

    constexpr bool isEmpty() const { return rawValue == 0; }
    constexpr bool contains(Derived member) const { return (rawValue & member.rawValue) == member.rawValue; }
    constexpr Derived unionWith(Derived other) const { return Derived(static_cast<Raw>(rawValue | other.rawValue)); }
    constexpr Derived intersection(Derived other) const { return Derived(static_cast<Raw>(rawValue & other.rawValue)); }
    constexpr Derived subtracting(Derived other) const { return Derived(static_cast<Raw>(rawValue & ~other.rawValue)); }
    constexpr void insert(Derived member) { rawValue = static_cast<Raw>(rawValue | member.rawValue); }
    constexpr void remove(Derived member) { rawValue = static_cast<Raw>(rawValue & ~member.rawValue); }

    friend constexpr Derived operator|(Derived a, Derived b) { return a.unionWith(b); }
    friend constexpr Derived operator&(Derived a, Derived b) { return a.intersection(b); }
    friend constexpr Derived operator-(Derived a, Derived b) { return a.subtracting(b); }
    friend constexpr bool operator==(const Derived& a, const Derived& b) { return a.rawValue == b.rawValue; }
};

} // namespace orvik
