#include "permissions/ScreenRecordingPermission.hpp"

namespace orvik::helper {

ScreenRecordingPermission::ScreenRecordingPermission(Probe probe) : probe_(std::move(probe)) {
    if (!probe_) probe_ = [] { return false; };
}

bool ScreenRecordingPermission::isGranted() const {
    return probe_();
}

bool ScreenRecordingPermission::request() const {
    return probe_();
}

} // namespace orvik::helper
