// The stored preferences: any bytes decode or are refused with DecodingError, and a decoded record written back
// reads the same.
#include "orvik/protocol/coding/DecodingError.hpp"
#include "preferences/HelperPreferences.hpp"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvik::helper::HelperPreferences;
    HelperPreferences preferences;
    try {
        preferences = HelperPreferences::decode(orvik::ByteView(data, size));
    } catch (const orvik::DecodingError&) {
        return 0;
    }
    if (HelperPreferences::decode(preferences.encode()) != preferences) std::abort();
    return 0;
}
