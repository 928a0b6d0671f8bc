#pragma once

#include "power/DpmsControlling.hpp"
#include "server/CommandOutcome.hpp"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace orvik::helper {

// Turns the displays off now through DPMS. Forcing a level needs DPMS enabled; a user who had it off (a kiosk,
// a presentation machine) gets that setting back once the displays are on again, looked at every
// `wakePollInterval` by the owner, or when the owner gives it back at quit.
//
// Used on one thread (the power executor's). Without DPMS the answer is
// failure(internalError, "display sleep not available").
class DisplaySleep {
public:
    using Open = std::function<std::unique_ptr<DpmsControlling>()>;

    static constexpr std::chrono::milliseconds wakePollInterval{1000};

    explicit DisplaySleep(Open open);

    CommandOutcome sleepNow();
    // Whether the user's setting waits for the displays to wake.
    bool awaitingWake() const { return held_ != nullptr; }
    // Gives the setting back when the displays are on again.
    void checkWake();
    // Gives the setting back now (which wakes the displays).
    void giveBack();

private:
    Open open_;
    // The connection on which DPMS was turned on for the user, kept until their setting is given back.
    std::unique_ptr<DpmsControlling> held_;
};

// Whether the X screen saver (a screen locker's blanking) is on; absent without an X server or the extension.
std::optional<bool> screenSaverOn();

} // namespace orvik::helper
