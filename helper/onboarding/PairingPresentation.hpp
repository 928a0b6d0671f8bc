#pragma once

#include "core/Date.hpp"
#include "pairing/PairedDevice.hpp"
#include "server/ServerTypes.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace orvik::helper {

// What the pairing view shows, decided from the model alone.
struct PairingPresentation {
    enum class State { code, paired, expired };

    PairingPresentation() = delete;

    // An open session shows its code; else a device paired at or after `shownAt` shows the confirmation; else
    // the expired notice (also while a requested code has not arrived yet).
    static State state(const std::optional<PairingInfo>& pairing, const std::optional<PairedDevice>& lastPaired,
                       Date shownAt);
    // Whether a device counts as paired while the view was shown.
    static bool pairedSince(const std::optional<PairedDevice>& device, Date shownAt);
    // "Code expires in 4:59": whole seconds left, cut toward zero, never below 0:00.
    static std::string countdown(Date expiresAt, Date now);
    // Every character a word of its own, so a screen reader reads the code one symbol at a time.
    static std::string spelledOut(std::string_view code);
};

} // namespace orvik::helper
