#include "orvik/protocol/keys/KeyComboJson.hpp"

#include "orvik/protocol/coding/DecodingError.hpp"

namespace orvik {

KeyCombo keyComboFromJson(const nlohmann::json& json) {
    if (!json.is_string()) throw DecodingError::malformedPayload("key combo is not a string");
    const auto& text = json.get_ref<const std::string&>();
    auto combo = KeyCombo::parse(text);
    if (!combo) throw DecodingError::invalidValue("Invalid key combo " + text);
    return *combo;
}

nlohmann::json toJson(const KeyCombo& combo) {
    return combo.text();
}

void to_json(nlohmann::json& json, const KeyCombo& combo) {
    json = combo.text();
}

void from_json(const nlohmann::json& json, KeyCombo& combo) {
    combo = keyComboFromJson(json);
}

} // namespace orvik
