#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvik::helper {

// A dotted version ("1.10.2") compared part by part as numbers: 1.10 is newer than 1.9, and 1.2 equals 1.2.0.
// Parts of any length compare without overflow.
class VersionNumber {
public:
    // Absent unless the text (spaces around it aside) is one or more dot-separated runs of digits.
    static std::optional<VersionNumber> parse(std::string_view text);

    friend std::strong_ordering operator<=>(const VersionNumber& left, const VersionNumber& right);
    friend bool operator==(const VersionNumber& left, const VersionNumber& right) = default;

private:
    explicit VersionNumber(std::vector<std::string> parts) : parts_(std::move(parts)) {}

    // Digits without leading zeros; trailing zero parts dropped, so equal versions have equal parts.
    std::vector<std::string> parts_;
};

} // namespace orvik::helper
