#include "JsonValue.hpp"

#include "orvik/protocol/coding/Base64.hpp"

#include <charconv>
#include <cmath>
#include <limits>

namespace orvik::json {

DecodingError wrongType(std::string_view key, const char* expected) {
    return DecodingError::malformedPayload("\"" + std::string(key) + "\" is not " + expected);
}

DecodingError badValue(std::string_view key, const char* problem) {
    return DecodingError::invalidValue("\"" + std::string(key) + "\" " + problem);
}

bool JsonValue<bool>::read(const Json& json, std::string_view key) {
    if (!json.is_boolean()) throw wrongType(key, "a truth value");
    return json.get<bool>();
}

Json JsonValue<float>::write(float value) {
    if (!std::isfinite(value)) throw UnencodableValue("non-finite number");
    // The shortest decimal of the float, read as a double, prints as that decimal and reads back exactly.
    char text[32];
    auto written = std::to_chars(std::begin(text), std::end(text), value);
    double decimal = value;
    std::from_chars(std::begin(text), written.ptr, decimal);
    // For a few floats (0x15AE43FD) the decimal's nearest double rounds to a neighbour: send the exact value.
    if (static_cast<float>(decimal) != value) decimal = value;
    return decimal;
}

// Doubles smaller than this in magnitude round to a finite float (the largest float plus half its spacing).
constexpr double floatRoundingLimit = 0x1p128 - 0x1p103;

float JsonValue<float>::read(const Json& json, std::string_view key) {
    if (!json.is_number()) throw wrongType(key, "a number");
    auto value = json.get<double>();
    if (!(std::fabs(value) < floatRoundingLimit)) throw badValue(key, "is out of range");
    return static_cast<float>(value);
}

namespace {
constexpr std::string_view notANumber = "NaN";
constexpr std::string_view infinity = "Infinity";
constexpr std::string_view negativeInfinity = "-Infinity";
} // namespace

Json writeAnyFloat(float value) {
    if (std::isnan(value)) return notANumber;
    if (std::isinf(value)) return value > 0 ? infinity : negativeInfinity;
    return JsonValue<float>::write(value);
}

float readAnyFloat(const Json& json, std::string_view key) {
    if (!json.is_string()) return JsonValue<float>::read(json, key);
    const auto& text = json.get_ref<const std::string&>();
    if (text == notANumber) return std::numeric_limits<float>::quiet_NaN();
    if (text == infinity) return std::numeric_limits<float>::infinity();
    if (text == negativeInfinity) return -std::numeric_limits<float>::infinity();
    throw badValue(key, "is no number");
}

const Json& requiredField(const Json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end() || found->is_null()) {
        throw DecodingError::malformedPayload(std::string("missing \"") + key + "\"");
    }
    return *found;
}

Json JsonValue<double>::write(double value) {
    if (!std::isfinite(value)) throw UnencodableValue("non-finite number");
    return value;
}

double JsonValue<double>::read(const Json& json, std::string_view key) {
    if (!json.is_number()) throw wrongType(key, "a number");
    auto value = json.get<double>();
    if (!std::isfinite(value)) throw badValue(key, "is out of range");
    return value;
}

std::string JsonValue<std::string>::read(const Json& json, std::string_view key) {
    if (!json.is_string()) throw wrongType(key, "a text");
    return json.get<std::string>();
}

Uuid JsonValue<Uuid>::read(const Json& json, std::string_view key) {
    if (!json.is_string()) throw wrongType(key, "a text");
    auto value = Uuid::parse(json.get_ref<const std::string&>());
    if (!value) throw badValue(key, "is not a UUID");
    return *value;
}

Json JsonValue<Bytes>::write(const Bytes& value) {
    return Base64::encode(value);
}

Bytes JsonValue<Bytes>::read(const Json& json, std::string_view key) {
    if (!json.is_string()) throw wrongType(key, "a text");
    auto value = Base64::decode(json.get_ref<const std::string&>());
    if (!value) throw badValue(key, "is not Base64");
    return std::move(*value);
}

Json JsonValue<ErrorCode>::write(ErrorCode value) {
    if (static_cast<std::size_t>(value) >= allErrorCodes.size()) {
        throw UnencodableValue("error code outside its cases");
    }
    return toString(value);
}

ErrorCode JsonValue<ErrorCode>::read(const Json& json, std::string_view key) {
    if (!json.is_string()) throw wrongType(key, "a text");
    auto value = errorCodeFromString(json.get_ref<const std::string&>());
    if (!value) throw badValue(key, "names no error code");
    return *value;
}

} // namespace orvik::json
