#pragma once

#include "orvik/protocol/messages/HelperStatus.hpp"

#include <optional>
#include <variant>

namespace orvik::helper {

// What a media key or a requested level does to the output volume: set the level, set the mute state, post the
// media key instead (the level cannot be read or set) or nothing. A pure decision; the controller carries it out.
class VolumePlan {
public:
    struct SetLevel {
        float level = 0;
        bool operator==(const SetLevel&) const = default;
    };
    struct SetMuted {
        bool muted = false;
        bool operator==(const SetMuted&) const = default;
    };
    struct PostMediaKey {
        MediaKey key = MediaKey::playPause;
        bool operator==(const PostMediaKey&) const = default;
    };
    struct Unsupported {
        bool operator==(const Unsupported&) const = default;
    };
    using Step = std::variant<SetLevel, SetMuted, PostMediaKey, Unsupported>;

    // The change of one volume-up or volume-down press: a sixteenth of the range.
    static constexpr float step = 0.0625F;

    static Step plan(MediaKey key, const std::optional<VolumeStatus>& status);
    // A requested level never posts a media key.
    static Step plan(float requestedLevel, const std::optional<VolumeStatus>& status);
};

} // namespace orvik::helper
