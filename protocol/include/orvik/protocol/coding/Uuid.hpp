#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace orvik {

// A 128-bit identifier. Its text form is always upper case ("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"), which is
// also the form used in key derivations and TLS identities.
class Uuid {
public:
    using Storage = std::array<std::uint8_t, 16>;

    constexpr Uuid() = default;
    explicit constexpr Uuid(const Storage& bytes) : bytes_(bytes) {}

    // A random version-4 identifier from the system's secure random source.
    static Uuid random();
    // Accepts the 8-4-4-4-12 hexadecimal form in either case; anything else is absent.
    static std::optional<Uuid> parse(std::string_view text);

    std::string text() const;
    const Storage& bytes() const { return bytes_; }

    friend constexpr bool operator==(const Uuid&, const Uuid&) = default;
    friend constexpr auto operator<=>(const Uuid&, const Uuid&) = default;

private:
    Storage bytes_{};
};

} // namespace orvik

template <> struct std::hash<orvik::Uuid> {
    std::size_t operator()(const orvik::Uuid& id) const noexcept {
        std::size_t value = 0;
        for (auto byte : id.bytes()) value = value * 131 + byte;
        return value;
    }
};
