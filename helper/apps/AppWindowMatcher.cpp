#include "apps/AppWindowMatcher.hpp"

#include <algorithm>
#include <cctype>
#include <functional>
#include <string_view>

namespace orvik::helper {
namespace {

constexpr std::string_view desktopSuffix = ".desktop";

bool sameIgnoringCase(std::string_view left, std::string_view right) {
    return left.size() == right.size() && std::equal(left.begin(), left.end(), right.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

std::string_view stem(std::string_view id) {
    return id.ends_with(desktopSuffix) ? id.substr(0, id.size() - desktopSuffix.size()) : id;
}

std::string_view lastDottedPart(std::string_view name) {
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? name : name.substr(dot + 1);
}

bool namesWindow(std::string_view name, const WindowIdentity& window) {
    return !name.empty() && (sameIgnoringCase(name, window.className) || sameIgnoringCase(name, window.instance));
}

} // namespace

std::optional<std::size_t> AppWindowMatcher::match(const WindowIdentity& window,
                                                   const std::vector<DesktopEntry>& entries) {
    using Rule = std::function<bool(const DesktopEntry&)>;
    const Rule rules[] = {
        [&window](const DesktopEntry& entry) {
            return !window.applicationID.empty() && stem(entry.id) == window.applicationID;
        },
        [&window](const DesktopEntry& entry) {
            return !entry.startupWMClass.empty() &&
                   (entry.startupWMClass == window.className || entry.startupWMClass == window.instance);
        },
        [&window](const DesktopEntry& entry) { return namesWindow(stem(entry.id), window); },
        [&window](const DesktopEntry& entry) { return namesWindow(lastDottedPart(stem(entry.id)), window); },
        [&window](const DesktopEntry& entry) {
            return !entry.program.empty() && sameIgnoringCase(entry.program, window.instance);
        },
    };
    for (const auto& rule : rules) {
        const auto found = std::find_if(entries.begin(), entries.end(), rule);
        if (found != entries.end()) return static_cast<std::size_t>(found - entries.begin());
    }
    return std::nullopt;
}

} // namespace orvik::helper
