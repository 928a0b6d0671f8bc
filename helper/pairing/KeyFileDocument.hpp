#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/coding/Uuid.hpp"

#include <nlohmann/json.hpp>

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace orvik::helper {

// The key file's text: {"<device UUID>": "<key, standard Base64>", …}. An entry this version cannot read (a name
// that is not a UUID, a value that is not Base64 text, as another version might write) is kept as it was found,
// so that writing the file back never loses it.
struct KeyFileDocument {
    std::map<Uuid, Bytes> keys;
    // The entries that could not be read, as found.
    nlohmann::json unreadable = nlohmann::json::object();

    // Absent when the text is not a JSON object.
    static std::optional<KeyFileDocument> parse(std::string_view text);
    static KeyFileDocument decode(const nlohmann::json& object);
    // Indented JSON ending in a newline, with the keys and the unreadable entries.
    std::string serialize() const;
};

} // namespace orvik::helper
