#pragma once

#include "JsonText.hpp"
#include "PayloadFields.hpp"

#include <optional>
#include <string>
#include <type_traits>

// The payload of each case: its own binary layout, nothing at all, or a JSON object.
namespace orvik::payload {

template <class T>
concept Binary = requires(const T& value, ByteView bytes) {
    { value.encode() } -> std::same_as<Bytes>;
    { T::decode(bytes) } -> std::same_as<T>;
};

template <class T>
concept Empty = std::is_empty_v<T>;

// Absent when the payload has no wire form (see OrvikMessage::frame).
template <class T> std::optional<Bytes> encode(const T& value) {
    if constexpr (Binary<T>) {
        return value.encode();
    } else if constexpr (Empty<T>) {
        return Bytes{};
    } else {
        try {
            return json::serialize(json::JsonValue<T>::write(value));
        } catch (const json::UnencodableValue&) {
            return std::nullopt;
        }
    }
}

template <class T> T decode(ByteView bytes) {
    if constexpr (Binary<T>) {
        return T::decode(bytes);
    } else if constexpr (Empty<T>) {
        if (!bytes.empty()) {
            throw DecodingError::unexpectedLength("payload of " + std::to_string(bytes.size()) +
                                                  " bytes for a message without one");
        }
        return T{};
    } else {
        return json::JsonValue<T>::read(json::parseObject(bytes), "payload");
    }
}

} // namespace orvik::payload
