#pragma once

#include "core/UserDefaults.hpp"

#include <nlohmann/json_fwd.hpp>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvik::helper {

// The text of the defaults file: one JSON object; each key maps to an object with the value's type and the value,
// so a text never reads back as data:
//   {"helperID": {"type": "text", "value": "E621E1F8-…"},
//    "listenerPort": {"type": "integer", "value": 51234},
//    "onboardingCompleted": {"type": "bool", "value": true},
//    "helperPreferences": {"type": "data", "value": "<standard Base64>"}}
struct DefaultsDocument {
    using Values = std::map<std::string, UserDefaults::Value, std::less<>>;

    Values values;
    // Keys whose entry is not such a typed value; they are left out of `values`.
    std::vector<std::string> unreadableKeys;

    // Absent when the text is not a JSON object.
    static std::optional<DefaultsDocument> parse(std::string_view text);
    static DefaultsDocument decode(const nlohmann::json& object);
    // Indented JSON ending in a newline; invalid UTF-8 in a text is written as U+FFFD.
    static std::string serialize(const Values& values);
};

} // namespace orvik::helper
