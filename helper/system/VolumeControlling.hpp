#pragma once

#include "orvik/protocol/messages/HelperStatus.hpp"

#include <functional>
#include <optional>

namespace orvik::helper {

// The computer's output volume as the system controller sees it. Every operation may be called from any thread
// and none waits for the sound server: `status()` is called on the server's thread at every status build and
// answers from memory; the setters report through a completion.
class VolumeControlling {
public:
    // Called exactly once with whether the change was made, from any thread, possibly before the setter returns.
    using Done = std::function<void(bool)>;

    virtual ~VolumeControlling() = default;

    // Level, mute state and whether the level can be set; absent when there is no output device.
    virtual std::optional<VolumeStatus> status() const = 0;
    // Sets the level (clamped to 0…1); a level above 0 on a muted output unmutes it.
    virtual void setLevel(float level, Done done) = 0;
    virtual void setMuted(bool muted, Done done) = 0;
    // The handler (replacing an earlier one) is called, from any thread, after changes of the default output,
    // its volume or its mute state; it may be called more than once for one change.
    virtual void observeChanges(std::function<void()> handler) = 0;
};

} // namespace orvik::helper
