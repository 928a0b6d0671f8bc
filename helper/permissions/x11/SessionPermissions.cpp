#include "permissions/x11/SessionPermissions.hpp"

#include "permissions/x11/X11SessionProbe.hpp"

namespace orvik::helper {

PostEventPermission sessionPostEventPermission(std::shared_ptr<UserDefaults> defaults) {
    return PostEventPermission(std::move(defaults),
                               [session = X11SessionProbe::shared()] { return session->canPostEvents(); });
}

ScreenRecordingPermission sessionScreenRecordingPermission() {
    return ScreenRecordingPermission([session = X11SessionProbe::shared()] { return session->canReadScreen(); });
}

} // namespace orvik::helper
