#pragma once

#include <stdexcept>
#include <string>

namespace orvik {

// The one error every protocol decoder throws. The detail text is for logs only.
class DecodingError : public std::runtime_error {
public:
    enum class Kind { unexpectedLength, invalidValue, unknownMessageType, truncated, malformedPayload };

    DecodingError(Kind kind, const std::string& detail = {});

    Kind kind() const { return kind_; }

    static DecodingError unexpectedLength(const std::string& detail = {}) { return {Kind::unexpectedLength, detail}; }
    static DecodingError invalidValue(const std::string& detail = {}) { return {Kind::invalidValue, detail}; }
    static DecodingError unknownMessageType(const std::string& detail = {}) {
        return {Kind::unknownMessageType, detail};
    }
    static DecodingError truncated(const std::string& detail = {}) { return {Kind::truncated, detail}; }
    static DecodingError malformedPayload(const std::string& detail = {}) { return {Kind::malformedPayload, detail}; }

private:
    Kind kind_;
};

const char* toString(DecodingError::Kind kind);

} // namespace orvik
