#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/coding/Capabilities.hpp"
#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/coding/ErrorCode.hpp"
#include "orvik/protocol/coding/Uuid.hpp"
#include "orvik/protocol/keys/ModifierFlags.hpp"
#include "orvik/protocol/messages/CaseNames.hpp"

#include <nlohmann/json.hpp>

#include <concepts>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

// How each field type travels in a JSON payload, and the generic coding of payload structures described by a
// field table (JsonFields). Reading checks every type and range; writing refuses what JSON cannot carry.
namespace orvik::json {

using Json = nlohmann::json;

// Thrown while writing a value that has no JSON form: a non-finite number or an enumeration value outside its
// cases. The message then cannot be framed.
class UnencodableValue : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

DecodingError wrongType(std::string_view key, const char* expected);
DecodingError badValue(std::string_view key, const char* problem);

template <class T> struct JsonValue;

template <class T>
concept JsonInteger = std::integral<T> && !std::same_as<T, bool>;

// Integers are JSON integer literals within the field's width; a fraction or exponent is a wrong type.
template <JsonInteger T> struct JsonValue<T> {
    static Json write(T value) { return value; }
    static T read(const Json& json, std::string_view key) {
        if (json.is_number_unsigned()) {
            auto value = json.get<std::uint64_t>();
            if (!std::in_range<T>(value)) throw badValue(key, "is out of range");
            return static_cast<T>(value);
        }
        if (json.is_number_integer()) {
            auto value = json.get<std::int64_t>();
            if (!std::in_range<T>(value)) throw badValue(key, "is out of range");
            return static_cast<T>(value);
        }
        throw wrongType(key, "an integer");
    }
};

template <> struct JsonValue<bool> {
    static Json write(bool value) { return value; }
    static bool read(const Json& json, std::string_view key);
};

// A 32-bit float is written as the shortest decimal that reads back as the same float.
template <> struct JsonValue<float> {
    static Json write(float value);
    static float read(const Json& json, std::string_view key);
};

template <> struct JsonValue<double> {
    static Json write(double value);
    static double read(const Json& json, std::string_view key);
};

template <> struct JsonValue<std::string> {
    static Json write(const std::string& value) { return value; }
    static std::string read(const Json& json, std::string_view key);
};

// Upper-case text; either case is accepted.
template <> struct JsonValue<Uuid> {
    static Json write(const Uuid& value) { return value.text(); }
    static Uuid read(const Json& json, std::string_view key);
};

// Standard Base64 with padding.
template <> struct JsonValue<Bytes> {
    static Json write(const Bytes& value);
    static Bytes read(const Json& json, std::string_view key);
};

template <> struct JsonValue<ErrorCode> {
    static Json write(ErrorCode value);
    static ErrorCode read(const Json& json, std::string_view key);
};

// Option sets travel as their raw value; unknown bits are kept.
template <class Set>
requires std::same_as<Set, Capabilities> || std::same_as<Set, ModifierFlags>
struct JsonValue<Set> {
    static Json write(const Set& value) { return value.rawValue; }
    static Set read(const Json& json, std::string_view key) {
        return Set(JsonValue<typename Set::RawValue>::read(json, key));
    }
};

template <NamedEnum E> struct JsonValue<E> {
    static Json write(E value) {
        auto name = caseName(value);
        if (name.empty()) throw UnencodableValue("enumeration value outside its cases");
        return std::string(name);
    }
    static E read(const Json& json, std::string_view key) {
        if (!json.is_string()) throw wrongType(key, "a text");
        auto value = caseNamed<E>(json.get_ref<const std::string&>());
        if (!value) throw badValue(key, "names no case");
        return *value;
    }
};

template <class T> struct JsonValue<std::vector<T>> {
    static Json write(const std::vector<T>& values) {
        auto json = Json::array();
        for (const auto& value : values) json.push_back(JsonValue<T>::write(value));
        return json;
    }
    static std::vector<T> read(const Json& json, std::string_view key) {
        if (!json.is_array()) throw wrongType(key, "an array");
        std::vector<T> values;
        values.reserve(json.size());
        for (const auto& element : json) values.push_back(JsonValue<T>::read(element, key));
        return values;
    }
};

template <class M> void writeField(Json& object, const char* key, const M& member) {
    object[key] = JsonValue<M>::write(member);
}

template <class M> void writeField(Json& object, const char* key, const std::optional<M>& member) {
    if (member) object[key] = JsonValue<M>::write(*member);
}

// The value of a required key. Throws malformedPayload when it is missing or null.
const Json& requiredField(const Json& object, const char* key);

template <class M> void readField(const Json& object, const char* key, M& member) {
    member = JsonValue<M>::read(requiredField(object, key), key);
}

template <class M> void readField(const Json& object, const char* key, std::optional<M>& member) {
    auto found = object.find(key);
    if (found == object.end() || found->is_null()) {
        member.reset();
    } else {
        member = JsonValue<M>::read(*found, key);
    }
}

// A float of a fixed binary layout, which carries any bit pattern: its JSON form is a number, or one of the
// texts "NaN", "Infinity" and "-Infinity".
Json writeAnyFloat(float value);
float readAnyFloat(const Json& json, std::string_view key);

// A structure's JSON keys, specialised as
//     template <> struct JsonFields<T> { static constexpr auto fields = std::tuple{field("key", &T::member), ...}; };
// An optional member is an optional key: omitted when absent, and absent when missing or null.
template <class T> struct JsonFields;

template <class Owner, class Member> struct Field {
    const char* key;
    Member Owner::*member;

    void write(Json& object, const Owner& value) const { writeField(object, key, value.*member); }
    void read(const Json& object, Owner& value) const { readField(object, key, value.*member); }
};

template <class Owner, class Member> constexpr Field<Owner, Member> field(const char* key, Member Owner::*member) {
    return {key, member};
}

template <class Owner> struct AnyFloatField {
    const char* key;
    float Owner::*member;

    void write(Json& object, const Owner& value) const { object[key] = writeAnyFloat(value.*member); }
    void read(const Json& object, Owner& value) const { value.*member = readAnyFloat(requiredField(object, key), key); }
};

template <class Owner> constexpr AnyFloatField<Owner> anyFloatField(const char* key, float Owner::*member) {
    return {key, member};
}

template <class T>
concept HasJsonFields = requires {
    JsonFields<T>::fields;
};

template <HasJsonFields T> struct JsonValue<T> {
    static Json write(const T& value) {
        auto object = Json::object();
        std::apply([&](const auto&... fields) { (fields.write(object, value), ...); }, JsonFields<T>::fields);
        return object;
    }
    static T read(const Json& object, std::string_view key) {
        if (!object.is_object()) throw wrongType(key, "an object");
        T value{};
        std::apply([&](const auto&... fields) { (fields.read(object, value), ...); }, JsonFields<T>::fields);
        return value;
    }
};

} // namespace orvik::json
