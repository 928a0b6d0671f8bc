#include "pairing/PairedDevice.hpp"

#include "orvik/protocol/coding/DecodingError.hpp"

#include <nlohmann/json.hpp>

namespace orvik::helper {
namespace {

const nlohmann::json& required(const nlohmann::json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end()) throw DecodingError::malformedPayload(std::string("missing ") + key);
    return *found;
}

std::string text(const nlohmann::json& value, const char* key) {
    if (!value.is_string()) throw DecodingError::invalidValue(std::string(key) + " is not a text");
    return value.get<std::string>();
}

Date date(const nlohmann::json& value, const char* key) {
    if (!value.is_number()) throw DecodingError::invalidValue(std::string(key) + " is not a number");
    auto parsed = ReferenceDate::date(value.get<double>());
    if (!parsed) throw DecodingError::invalidValue(std::string(key) + " is out of range");
    return *parsed;
}

} // namespace

std::string PairedDevice::nameAndID() const {
    return "\"" + name + "\" (" + id.text() + ")";
}

nlohmann::json PairedDevice::toJson() const {
    nlohmann::json object{
        {"id", id.text()}, {"name", name}, {"model", model}, {"pairedAt", ReferenceDate::seconds(pairedAt)}};
    if (lastSeen) object["lastSeen"] = ReferenceDate::seconds(*lastSeen);
    return object;
}

PairedDevice PairedDevice::fromJson(const nlohmann::json& value) {
    if (!value.is_object()) throw DecodingError::malformedPayload("device is not an object");
    PairedDevice device;
    auto id = Uuid::parse(text(required(value, "id"), "id"));
    if (!id) throw DecodingError::invalidValue("id is not a UUID");
    device.id = *id;
    device.name = text(required(value, "name"), "name");
    device.model = text(required(value, "model"), "model");
    device.pairedAt = date(required(value, "pairedAt"), "pairedAt");
    if (auto lastSeen = value.find("lastSeen"); lastSeen != value.end() && !lastSeen->is_null()) {
        device.lastSeen = date(*lastSeen, "lastSeen");
    }
    return device;
}

} // namespace orvik::helper
