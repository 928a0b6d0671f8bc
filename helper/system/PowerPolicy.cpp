#include "system/PowerPolicy.hpp"

namespace orvik::helper {

bool PowerPolicy::isAllowed(PowerAction action, const HelperPreferences& preferences) {
    switch (action) {
    case PowerAction::restart: return preferences.allowRestart;
    case PowerAction::shutDown: return preferences.allowShutDown;
    case PowerAction::logOut: return preferences.allowLogOut;
    case PowerAction::lock:
    case PowerAction::displaySleep:
    case PowerAction::sleep: return true;
    }
    return false;
}

bool PowerPolicy::isValidDelay(PowerAction action, std::int64_t delaySeconds) {
    return action != PowerAction::lock && delaySeconds >= minimumDelaySeconds && delaySeconds <= maximumDelaySeconds;
}

} // namespace orvik::helper
