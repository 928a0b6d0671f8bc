#include "updates/VersionNumber.hpp"

#include <algorithm>

namespace orvik::helper {

namespace {

bool isDigit(char character) {
    return character >= '0' && character <= '9';
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::strong_ordering compareNumbers(const std::string& left, const std::string& right) {
    if (auto bySize = left.size() <=> right.size(); bySize != 0) return bySize;
    return left.compare(right) <=> 0;
}

} // namespace

std::optional<VersionNumber> VersionNumber::parse(std::string_view text) {
    std::vector<std::string> parts;
    std::string_view rest = trimmed(text);
    while (true) {
        const auto dot = rest.find('.');
        const std::string_view part = rest.substr(0, dot);
        if (part.empty() || !std::all_of(part.begin(), part.end(), isDigit)) return std::nullopt;
        const auto significant = std::min(part.find_first_not_of('0'), part.size());
        parts.emplace_back(part.substr(significant));
        if (dot == std::string_view::npos) break;
        rest.remove_prefix(dot + 1);
    }
    while (!parts.empty() && parts.back().empty()) parts.pop_back();
    return VersionNumber(std::move(parts));
}

std::strong_ordering operator<=>(const VersionNumber& left, const VersionNumber& right) {
    const auto common = std::min(left.parts_.size(), right.parts_.size());
    for (std::size_t index = 0; index < common; ++index) {
        if (auto order = compareNumbers(left.parts_[index], right.parts_[index]); order != 0) return order;
    }
    return left.parts_.size() <=> right.parts_.size();
}

} // namespace orvik::helper
