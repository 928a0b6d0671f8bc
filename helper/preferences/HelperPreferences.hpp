#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/coding/Uuid.hpp"
#include "preferences/ScrollMode.hpp"

#include <array>
#include <string_view>
#include <vector>

namespace orvik::helper {

// The local user's settings. Stored as one JSON object whose keys are the field names, written in declaration
// order, all eleven every time. Reading is tolerant (see fromJson): an old or damaged record still loads.
struct HelperPreferences {
    enum class OverlayColor { aurora, red, white };
    enum class OverlaySize { small, medium, large };

    static constexpr std::array<OverlayColor, 3> allOverlayColors{OverlayColor::aurora, OverlayColor::red,
                                                                  OverlayColor::white};
    static constexpr std::array<OverlaySize, 3> allOverlaySizes{OverlaySize::small, OverlaySize::medium,
                                                                OverlaySize::large};

    bool autoAllowOnScan = true;
    bool showConnectionNotifications = true;
    ScrollMode scrollMode = ScrollMode::phaseless;
    bool allowRestart = true;
    bool allowShutDown = true;
    bool allowLogOut = true;
    bool pauseHotKeyEnabled = true;
    OverlayColor overlayColor = OverlayColor::aurora;
    OverlaySize overlaySize = OverlaySize::medium;
    bool screenViewingEnabled = false;
    std::vector<Uuid> screenViewingDevices;

    // The compact JSON bytes of the record.
    Bytes encode() const;
    // Decodes a record, reading each key tolerantly:
    // - a Boolean field: missing or null gives the default; a non-Boolean makes the whole decoding fail;
    // - scrollMode, overlayColor, overlaySize: missing, null or anything but one of the raw texts gives the default;
    // - screenViewingDevices: missing or null gives none; anything but an array of UUID texts gives none;
    // - keys that are not field names are ignored.
    // Throws DecodingError when the bytes are not a JSON object or a Boolean field holds another kind of value.
    static HelperPreferences decode(ByteView json);

    friend bool operator==(const HelperPreferences&, const HelperPreferences&) = default;
};

std::string_view rawValue(HelperPreferences::OverlayColor color);
std::string_view rawValue(HelperPreferences::OverlaySize size);

} // namespace orvik::helper
