#pragma once

#include "orvik/protocol/coding/DecodingError.hpp"

#include <optional>

namespace orvik::testing {

// The kind of DecodingError that `decode` throws, or absent when it throws none.
template <class Decode> std::optional<DecodingError::Kind> failureOf(Decode decode) {
    try {
        decode();
    } catch (const DecodingError& error) {
        return error.kind();
    }
    return std::nullopt;
}

} // namespace orvik::testing
