#include "JsonText.hpp"

namespace orvik::json {

namespace {
// Counts brackets outside strings. The parser itself then rejects whatever else is wrong with the text.
void checkNesting(ByteView text) {
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (auto byte : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (byte == '\\') {
                escaped = true;
            } else if (byte == '"') {
                inString = false;
            }
            continue;
        }
        if (byte == '"') {
            inString = true;
        } else if (byte == '{' || byte == '[') {
            if (++depth > maxNesting) throw DecodingError::malformedPayload("JSON nested too deeply");
        } else if ((byte == '}' || byte == ']') && depth > 0) {
            --depth;
        }
    }
}
} // namespace

Json parseObject(ByteView text) {
    checkNesting(text);
    Json value;
    try {
        value = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    } catch (const Json::exception&) {
        value = Json(Json::value_t::discarded);
    }
    if (value.is_discarded()) throw DecodingError::malformedPayload("not UTF-8 JSON");
    if (!value.is_object()) throw DecodingError::malformedPayload("not a JSON object");
    return value;
}

std::optional<Bytes> serialize(const Json& value) {
    try {
        auto text = value.dump(-1, ' ', false, Json::error_handler_t::strict);
        return Bytes(text.begin(), text.end());
    } catch (const Json::type_error&) {
        return std::nullopt;
    }
}

} // namespace orvik::json
