#pragma once

#include <string>
#include <string_view>

namespace orvik::helper {

// Cleans the device name and model that a pairing request brings before they are shown or stored.
struct PairingNames {
    PairingNames() = delete;

    // Longest kept name, in extended grapheme clusters (what a reader sees as characters).
    static constexpr int maxLength = 64;
    // What an empty name becomes.
    static constexpr std::string_view fallbackName = "iPhone";

    // In this order: drops control and format characters (Cc, Cf), non-characters and unassigned code points;
    // trims white space and line breaks (category Z) at both ends; keeps the first 64 grapheme clusters (no
    // second trim after the cut); "iPhone" when nothing is left. Ill-formed UTF-8 reads as U+FFFD.
    static std::string sanitized(std::string_view name);
};

} // namespace orvik::helper
