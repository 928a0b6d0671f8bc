#pragma once

#include "orvik/protocol/messages/OrvikMessage.hpp"

#include <nlohmann/json.hpp>

// A JSON form of every message, for tools and tests: {"type": "<case name>", "payload": {...}}. JSON payloads
// appear as on the wire; binary payloads as objects keyed by their field names, enumerations by case name, and
// their floats, which may be non-finite on the wire, as numbers or the texts "NaN", "Infinity", "-Infinity".
namespace orvik {

// Throws std::invalid_argument when the message holds a value its wire form cannot carry either (a non-finite
// number in a JSON payload, an enumeration value outside its cases). Never for a decoded message.
nlohmann::json toJson(const OrvikMessage& message);

// Throws DecodingError: unknownMessageType for a type name that names no message; otherwise as the wire
// decoders (a binary payload must also pass its binary decoder's checks). A missing "payload" reads as {}.
OrvikMessage messageFromJson(const nlohmann::json& json);

} // namespace orvik
