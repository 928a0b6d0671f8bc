#pragma once

#include <optional>

namespace orvik::helper {

// What display sleep reads and changes of an X server's DPMS (the displays' power saving).
struct DpmsState {
    // The user's setting: whether the server puts the displays to sleep on its own after its time-outs.
    bool enabled = false;
    bool displaysOn = true;
};

// One connection to a server with DPMS, used on one thread. Every call answers false (or absent) once the
// server is gone.
class DpmsControlling {
public:
    virtual ~DpmsControlling() = default;

    virtual std::optional<DpmsState> read() = 0;
    virtual bool enable() = 0;
    // Also wakes the displays: the server turns them on when DPMS goes off.
    virtual bool disable() = 0;
    // Needs DPMS enabled; the next input wakes the displays.
    virtual bool forceOff() = 0;
};

} // namespace orvik::helper
