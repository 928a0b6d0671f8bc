#pragma once

#include "orvik/protocol/messages/CommandMessages.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace orvik {

// `level` is the charge as a fraction from 0 to 1.
struct BatteryStatus {
    float level = 0;
    bool isCharging = false;

    bool operator==(const BatteryStatus&) const = default;
};

// `isSettable`: the level can be set (some outputs have a fixed volume).
struct VolumeStatus {
    float level = 0;
    bool isMuted = false;
    bool isSettable = false;

    bool operator==(const VolumeStatus&) const = default;
};

// A delayed power action that is counting down.
struct SleepTimerStatus {
    PowerAction action = PowerAction::sleep;
    std::int64_t remainingSeconds = 0;

    bool operator==(const SleepTimerStatus&) const = default;
};

// The status snapshot pushed to phones. Equality is field by field: the server pushes only what changed.
struct HelperStatus {
    std::optional<BatteryStatus> battery = std::nullopt;
    std::optional<VolumeStatus> volume = std::nullopt;
    bool secureInputActive = false;
    std::optional<std::string> frontmostAppName = std::nullopt;
    std::optional<std::string> frontmostBundleID = std::nullopt;
    std::int64_t displayCount = 0;
    std::optional<SleepTimerStatus> sleepTimer = std::nullopt;
    bool isPaused = false;
    bool canControl = false;

    bool operator==(const HelperStatus&) const = default;
};

} // namespace orvik
