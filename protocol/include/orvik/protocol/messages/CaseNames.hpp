#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

namespace orvik {

// The case names of a wire enumeration, specialised next to each enumeration as
//     template <> struct CaseNames<E> { static constexpr std::array<std::pair<E, std::string_view>, N> table{...}; };
// Text enumerations travel as these names. The integer enumerations of the binary input payloads use them only
// in their JSON form.
template <class E> struct CaseNames;

template <class E>
concept NamedEnum = std::is_enum_v<E> && requires {
    CaseNames<E>::table;
};

// The name of a case; empty for a value that is none of the cases.
template <NamedEnum E> constexpr std::string_view caseName(E value) {
    for (const auto& [member, name] : CaseNames<E>::table) {
        if (member == value) return name;
    }
    return {};
}

// The case with exactly this name (case-sensitive), or absent.
template <NamedEnum E> constexpr std::optional<E> caseNamed(std::string_view text) {
    for (const auto& [member, name] : CaseNames<E>::table) {
        if (name == text) return member;
    }
    return std::nullopt;
}

template <NamedEnum E> constexpr bool isCase(E value) {
    return !caseName(value).empty();
}

} // namespace orvik
