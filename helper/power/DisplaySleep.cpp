#include "power/DisplaySleep.hpp"

#include "platform/SessionLock.hpp"
#include "platform/X11Display.hpp"

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>

namespace orvik::helper {

CommandOutcome forceDisplaysOff() {
    auto notAvailable = CommandOutcome::failure(ErrorCode::internalError, "display sleep not available");
    auto display = X11Display::open();
    if (!display) return notAvailable;
    int eventBase = 0;
    int errorBase = 0;
    if (!DPMSQueryExtension(display->get(), &eventBase, &errorBase) || !DPMSCapable(display->get())) {
        return notAvailable;
    }
    auto errorsBefore = display->errorCount();
    // Forcing a level needs DPMS enabled; the server's own time-outs then wake the displays as usual.
    CARD16 level = 0;
    BOOL enabled = False;
    if (DPMSInfo(display->get(), &level, &enabled) && !enabled) DPMSEnable(display->get());
    DPMSForceLevel(display->get(), DPMSModeOff);
    if (!display->syncSucceeded(errorsBefore)) return notAvailable;
    return CommandOutcome::success();
}

std::optional<bool> screenSaverOn() {
    auto display = X11Display::open();
    if (!display) return std::nullopt;
    return SessionLock::screenSaverActive(*display);
}

} // namespace orvik::helper
