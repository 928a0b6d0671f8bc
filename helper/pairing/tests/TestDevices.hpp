#pragma once

#include "pairing/PairedDevice.hpp"

namespace orvik::helper::testing {

// Two phones and their device keys, as the store tests pair them.
inline Date pairedAt(int seconds) {
    return Date(std::chrono::seconds(1'700'000'000 + seconds));
}
inline const PairedDevice anna{*Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"), "Anna", "iPhone15,2",
                               pairedAt(10)};
inline const PairedDevice ben{*Uuid::parse("0F3C2A41-8B7D-4E22-9A61-5D0B8C7E1F24"), "Ben", "iPhone14,5", pairedAt(20)};
inline const Bytes annaKey(32, 0xA1);
inline const Bytes benKey(32, 0xB2);

} // namespace orvik::helper::testing
