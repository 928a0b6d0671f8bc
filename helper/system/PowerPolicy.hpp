#pragma once

#include "orvik/protocol/messages/CommandMessages.hpp"
#include "preferences/HelperPreferences.hpp"

#include <cstdint>
#include <optional>

namespace orvik::helper {

// Which power actions the local user lets a phone take, and which delays a delayed action may have.
class PowerPolicy {
public:
    // A delayed action waits at least a second and at most a day.
    static constexpr std::int64_t minimumDelaySeconds = 1;
    static constexpr std::int64_t maximumDelaySeconds = 86400;

    // Lock, display sleep and sleep are always allowed; restart, shut down and log out as the preferences say.
    static bool isAllowed(PowerAction action, const HelperPreferences& preferences);
    // A lock is never delayed.
    static bool isValidDelay(PowerAction action, std::int64_t delaySeconds);
};

} // namespace orvik::helper
