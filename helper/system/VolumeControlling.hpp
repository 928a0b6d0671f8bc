#pragma once

#include "orvik/protocol/messages/HelperStatus.hpp"

#include <functional>
#include <optional>

namespace orvik::helper {

// The computer's output volume as the system controller sees it. Every operation may be called from any thread;
// `status()` is called on the server's thread at every status build, so it answers from memory and never waits
// for the sound server.
class VolumeControlling {
public:
    virtual ~VolumeControlling() = default;

    // Level, mute state and whether the level can be set; absent when there is no output device.
    virtual std::optional<VolumeStatus> status() const = 0;
    // Sets the level (clamped to 0…1); a level above 0 on a muted output unmutes it. True when it was set.
    virtual bool setLevel(float level) = 0;
    virtual bool setMuted(bool muted) = 0;
    // The handler (replacing an earlier one) is called, from any thread, after changes of the default output,
    // its volume or its mute state; it may be called more than once for one change.
    virtual void observeChanges(std::function<void()> handler) = 0;
};

} // namespace orvik::helper
