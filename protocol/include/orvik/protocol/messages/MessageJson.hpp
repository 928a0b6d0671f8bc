#pragma once

#include "orvik/protocol/messages/OrvikMessage.hpp"

#include <nlohmann/json.hpp>

// A JSON form of every message, for tools and tests: {"type": "<case name>", "payload": {...}}. JSON payloads
// appear as on the wire; binary payloads as objects keyed by their field names, enumerations by case name.
namespace orvik {

// Throws std::invalid_argument when the message holds a value JSON cannot carry (a non-finite number, an
// enumeration value outside its cases).
nlohmann::json toJson(const OrvikMessage& message);

// Throws DecodingError: unknownMessageType for a type name that names no message; otherwise as the wire
// decoders (a binary payload must also pass its binary decoder's checks). A missing "payload" reads as {}.
OrvikMessage messageFromJson(const nlohmann::json& json);

} // namespace orvik
