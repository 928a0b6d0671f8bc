#include "onboarding/PairingPresentation.hpp"

#include <algorithm>
#include <cstdio>

namespace orvik::helper {

bool PairingPresentation::pairedSince(const std::optional<PairedDevice>& device, Date shownAt) {
    return device && device->pairedAt >= shownAt;
}

PairingPresentation::State PairingPresentation::state(const std::optional<PairingInfo>& pairing,
                                                      const std::optional<PairedDevice>& lastPaired, Date shownAt) {
    if (pairing) return State::code;
    if (pairedSince(lastPaired, shownAt)) return State::paired;
    return State::expired;
}

std::string PairingPresentation::countdown(Date expiresAt, Date now) {
    const auto left = std::chrono::duration_cast<std::chrono::seconds>(expiresAt - now).count();
    const long long seconds = std::max<long long>(0, left);
    char text[48];
    std::snprintf(text, sizeof text, "Code expires in %lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

std::string PairingPresentation::spelledOut(std::string_view code) {
    std::string words;
    for (char symbol : code) {
        if (!words.empty()) words += ' ';
        words += symbol;
    }
    return words;
}

} // namespace orvik::helper
