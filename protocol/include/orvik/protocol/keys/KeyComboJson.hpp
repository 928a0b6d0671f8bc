#pragma once

#include "orvik/protocol/keys/KeyCombo.hpp"

#include <nlohmann/json.hpp>

namespace orvik {

// In JSON a key combination is its text form. A string that does not parse throws
// DecodingError::invalidValue("Invalid key combo " + text); a value that is not a string throws
// DecodingError::malformedPayload.
KeyCombo keyComboFromJson(const nlohmann::json& json);
nlohmann::json toJson(const KeyCombo& combo);

// Hooks for nlohmann::json, so records and lists holding key combinations convert directly.
void to_json(nlohmann::json& json, const KeyCombo& combo);
void from_json(const nlohmann::json& json, KeyCombo& combo);

} // namespace orvik
