#pragma once

#include "orvik/protocol/coding/ByteReader.hpp"
#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/messages/CaseNames.hpp"

#include <string>

// Helpers shared by the fixed binary layouts.
namespace orvik::binary {

// A fixed layout is accepted only at its exact length, long or short.
inline ByteReader exactReader(ByteView payload, std::size_t wireSize, const char* what) {
    if (payload.size() != wireSize) {
        throw DecodingError::unexpectedLength(std::string(what) + " needs " + std::to_string(wireSize) +
                                              " bytes, got " + std::to_string(payload.size()));
    }
    return ByteReader(payload);
}

template <NamedEnum E> E readEnum(ByteReader& reader, const char* what) {
    auto value = static_cast<E>(reader.readU8());
    if (!isCase(value)) throw DecodingError::invalidValue(std::string("unknown ") + what);
    return value;
}

inline bool readFlag(ByteReader& reader, const char* what) {
    auto value = reader.readU8();
    if (value > 1) throw DecodingError::invalidValue(std::string(what) + " must be 0 or 1");
    return value == 1;
}

} // namespace orvik::binary
