#include "pairing/KeyFileDocument.hpp"

#include "orvik/protocol/coding/Base64.hpp"

namespace orvik::helper {

std::optional<KeyFileDocument> KeyFileDocument::parse(std::string_view text) {
    auto object = nlohmann::json::parse(text, nullptr, false);
    if (!object.is_object()) return std::nullopt;
    return decode(object);
}

KeyFileDocument KeyFileDocument::decode(const nlohmann::json& object) {
    KeyFileDocument document;
    for (const auto& [name, value] : object.items()) {
        auto id = Uuid::parse(name);
        auto key = value.is_string() ? Base64::decode(value.get_ref<const std::string&>()) : std::nullopt;
        if (id && key) {
            document.keys[*id] = std::move(*key);
        } else {
            document.unreadable[name] = value;
        }
    }
    return document;
}

std::string KeyFileDocument::serialize() const {
    nlohmann::json object = nlohmann::json::object();
    for (const auto& [name, value] : unreadable.items()) object[name] = value;
    // A key written by this version replaces whatever an unreadable entry of the same name held.
    for (const auto& [id, key] : keys) object[id.text()] = Base64::encode(key);
    return object.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

} // namespace orvik::helper
