#pragma once

#include "core/Date.hpp"
#include "orvik/protocol/coding/Uuid.hpp"

#include <nlohmann/json_fwd.hpp>

#include <optional>
#include <string>

namespace orvik::helper {

// A paired phone as the helper remembers it. Its secret device key is kept apart, in a PairedDeviceStore.
//
// JSON form: {"id": "<upper-case UUID>", "name": "…", "model": "…", "pairedAt": <seconds>, "lastSeen": <seconds>}
// with dates as seconds (fraction kept) since 2001-01-01 00:00:00 UTC; "lastSeen" only when present. Decoding
// requires the first four keys, takes a missing or null "lastSeen" as absent and ignores other keys.
struct PairedDevice {
    Uuid id;
    std::string name;
    std::string model;
    Date pairedAt;
    std::optional<Date> lastSeen = std::nullopt;

    // As the log names it: "Anna's iPhone" (E621E1F8-C36C-495A-93FC-0C247A3E6E5F).
    std::string nameAndID() const;
    nlohmann::json toJson() const;
    // Throws DecodingError when the value is not a complete record.
    static PairedDevice fromJson(const nlohmann::json& value);

    friend bool operator==(const PairedDevice&, const PairedDevice&) = default;
};

} // namespace orvik::helper
