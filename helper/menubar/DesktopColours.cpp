#include "menubar/DesktopColours.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace orvik::helper {
namespace {

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view blanks = " \t\r";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Splits `text` at each of `separators`, calling `part` with every piece until it returns true.
template <typename Part> bool anyPart(std::string_view text, std::string_view separators, Part part) {
    while (true) {
        const auto end = text.find_first_of(separators);
        if (part(text.substr(0, end))) return true;
        if (end == std::string_view::npos) return false;
        text.remove_prefix(end + 1);
    }
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

bool DesktopColours::names(std::string_view desktop) const {
    return anyPart(desktops, ":", [desktop](std::string_view name) { return name == desktop; });
}

std::optional<std::string> DesktopColours::kdeValue(std::string_view text, std::string_view group,
                                                    std::string_view key) {
    std::optional<std::string> found;
    bool inGroup = false;
    anyPart(text, "\n", [&](std::string_view rawLine) {
        const std::string_view line = trimmed(rawLine);
        if (line.empty() || line.front() == '#') return false;
        if (line.front() == '[') {
            inGroup = line.size() == group.size() + 2 && line.back() == ']' && line.substr(1, group.size()) == group;
            return false;
        }
        const auto equals = line.find('=');
        // A later line overrides an earlier one, as KDE reads them.
        if (inGroup && equals != std::string_view::npos && trimmed(line.substr(0, equals)) == key) {
            found = std::string(trimmed(line.substr(equals + 1)));
        }
        return false;
    });
    return found;
}

std::optional<QColor> DesktopColours::kdeColour(std::string_view value) {
    int channels[3] = {};
    int count = 0;
    const bool malformed = anyPart(value, ",", [&](std::string_view part) {
        part = trimmed(part);
        if (count == 3) return true;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), channels[count]);
        if (error != std::errc() || end != part.data() + part.size() || channels[count] < 0 || channels[count] > 255) {
            return true;
        }
        ++count;
        return false;
    });
    if (malformed || count != 3) return std::nullopt;
    return QColor(channels[0], channels[1], channels[2]);
}

bool DesktopColours::namesDarkTheme(std::string_view theme) {
    return anyPart(theme, "-_: ", [](std::string_view word) { return equalIgnoringCase(word, "dark"); });
}

} // namespace orvik::helper
