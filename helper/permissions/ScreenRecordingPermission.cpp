#include "permissions/ScreenRecordingPermission.hpp"

#include "permissions/X11SessionProbe.hpp"

namespace orvik::helper {

ScreenRecordingPermission::ScreenRecordingPermission(Probe probe) : probe_(std::move(probe)) {
    if (!probe_) {
        probe_ = [session = X11SessionProbe::shared()] { return session->canReadScreen(); };
    }
}

bool ScreenRecordingPermission::isGranted() const {
    return probe_();
}

bool ScreenRecordingPermission::request() const {
    return probe_();
}

} // namespace orvik::helper
