#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvik::helper {

// An update feed: an RSS document whose items each describe one release. The machine version
// ("sparkle:version") is what versions are compared by and carries the project version; the short version
// ("sparkle:shortVersionString") is what the user reads. Either may be an element of the item or an attribute
// of its enclosure.
struct Appcast {
    struct Item {
        std::string version;
        std::string shortVersion;
        std::string enclosureUrl;
        std::string link;

        // The short version when the feed gives one, else the machine version.
        const std::string& displayVersion() const { return shortVersion.empty() ? version : shortVersion; }
        friend bool operator==(const Item&, const Item&) = default;
    };

    // The items in feed order; absent when the text is not well-formed XML with an "rss" root.
    static std::optional<std::vector<Item>> parse(std::string_view document);
};

} // namespace orvik::helper
