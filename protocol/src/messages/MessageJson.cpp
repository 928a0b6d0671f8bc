#include "orvik/protocol/messages/MessageJson.hpp"

#include "MessageTypeIndex.hpp"
#include "PayloadCodec.hpp"

#include <array>
#include <string>

namespace orvik {

namespace {
using json::Json;
using Reader = OrvikMessage (*)(const Json&);

template <class T> T readPayload(const Json& payload) {
    auto value = json::JsonValue<T>::read(payload, "payload");
    // A binary payload is held to the same rules as on the wire.
    if constexpr (payload::Binary<T>) return T::decode(value.encode());
    return value;
}

template <std::size_t I> OrvikMessage readCase(const Json& payload) {
    return readPayload<std::variant_alternative_t<I, OrvikMessage::Variant>>(payload);
}

constexpr auto readers = []<std::size_t... I>(std::index_sequence<I...>) {
    return std::array<Reader, sizeof...(I)>{&readCase<I>...};
}
(std::make_index_sequence<std::variant_size_v<OrvikMessage::Variant>>());
} // namespace

nlohmann::json toJson(const OrvikMessage& message) {
    auto payload = std::visit(
        [](const auto& value) { return json::JsonValue<std::decay_t<decltype(value)>>::write(value); }, message.value);
    return Json{{"type", name(message.type())}, {"payload", std::move(payload)}};
}

OrvikMessage messageFromJson(const nlohmann::json& json) {
    if (!json.is_object()) throw DecodingError::malformedPayload("message is not a JSON object");
    auto typeName = json.find("type");
    if (typeName == json.end() || !typeName->is_string()) {
        throw DecodingError::malformedPayload("message has no \"type\" text");
    }
    auto type = messageTypeNamed(typeName->get_ref<const std::string&>());
    if (!type) throw DecodingError::unknownMessageType(typeName->get<std::string>().substr(0, 64));
    auto index = *caseIndex(static_cast<std::uint16_t>(*type));
    auto payload = json.find("payload");
    if (payload == json.end()) return readers[index](Json::object());
    return readers[index](*payload);
}

} // namespace orvik
