#pragma once

#include <string_view>

namespace orvik::helper {

// Whether this build names an update feed and key at all. Decided once at start; a build without them runs
// normally with update checks off.
struct UpdateGate {
    UpdateGate() = delete;

    // Both texts set and the feed a URL whose scheme is written exactly "https".
    static bool holds(std::string_view feedUrl, std::string_view publicKey);

    // Not blank (spaces and tabs only; line breaks count) and not an unfilled "{{…}}" template value.
    static bool isSet(std::string_view text);
};

} // namespace orvik::helper
