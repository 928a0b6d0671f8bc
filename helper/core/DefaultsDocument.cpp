#include "core/DefaultsDocument.hpp"

#include "orvik/protocol/coding/Base64.hpp"

#include <nlohmann/json.hpp>

#include <limits>

namespace orvik::helper {
namespace {

constexpr auto maxInteger = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

nlohmann::json encodeValue(const UserDefaults::Value& value) {
    struct Encoder {
        nlohmann::json operator()(bool flag) const { return {{"type", "bool"}, {"value", flag}}; }
        nlohmann::json operator()(std::int64_t number) const { return {{"type", "integer"}, {"value", number}}; }
        nlohmann::json operator()(const std::string& text) const { return {{"type", "text"}, {"value", text}}; }
        nlohmann::json operator()(const Bytes& data) const {
            return {{"type", "data"}, {"value", Base64::encode(data)}};
        }
    };
    return std::visit(Encoder{}, value);
}

std::optional<UserDefaults::Value> decodeValue(const nlohmann::json& entry) {
    if (!entry.is_object()) return std::nullopt;
    auto type = entry.find("type");
    auto value = entry.find("value");
    if (type == entry.end() || value == entry.end() || !type->is_string()) return std::nullopt;
    const auto& name = type->get_ref<const std::string&>();
    if (name == "bool" && value->is_boolean()) return UserDefaults::Value(value->get<bool>());
    if (name == "integer" && value->is_number_integer()) {
        // A number beyond the signed range is stored unsigned by the parser; it is not one of our values.
        if (value->is_number_unsigned() && value->get<std::uint64_t>() > maxInteger) return std::nullopt;
        return UserDefaults::Value(value->get<std::int64_t>());
    }
    if (name == "text" && value->is_string()) return UserDefaults::Value(value->get<std::string>());
    if (name == "data" && value->is_string()) {
        if (auto bytes = Base64::decode(value->get_ref<const std::string&>())) return UserDefaults::Value(*bytes);
    }
    return std::nullopt;
}

} // namespace

std::optional<DefaultsDocument> DefaultsDocument::parse(std::string_view text) {
    auto object = nlohmann::json::parse(text, nullptr, false);
    if (!object.is_object()) return std::nullopt;
    return decode(object);
}

DefaultsDocument DefaultsDocument::decode(const nlohmann::json& object) {
    DefaultsDocument document;
    for (const auto& [key, entry] : object.items()) {
        if (auto value = decodeValue(entry)) {
            document.values.emplace(key, std::move(*value));
        } else {
            document.unreadableKeys.push_back(key);
        }
    }
    return document;
}

std::string DefaultsDocument::serialize(const Values& values) {
    nlohmann::json document = nlohmann::json::object();
    for (const auto& [key, value] : values) document[key] = encodeValue(value);
    return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

} // namespace orvik::helper
