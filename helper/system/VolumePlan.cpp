#include "system/VolumePlan.hpp"

#include <algorithm>
#include <cmath>

namespace orvik::helper {

namespace {

bool isSettable(const std::optional<VolumeStatus>& status) {
    return status && status->isSettable;
}

} // namespace

VolumePlan::Step VolumePlan::plan(MediaKey key, const std::optional<VolumeStatus>& status) {
    // Without a settable output the key goes to whatever the desktop binds to it; the mute key too.
    if (!isSettable(status)) return PostMediaKey{key};
    switch (key) {
    case MediaKey::volumeUp: return SetLevel{std::min(1.0F, status->level + step)};
    case MediaKey::volumeDown: return SetLevel{std::max(0.0F, status->level - step)};
    case MediaKey::mute: return SetMuted{!status->isMuted};
    case MediaKey::playPause:
    case MediaKey::next:
    case MediaKey::previous: break;
    }
    return PostMediaKey{key};
}

VolumePlan::Step VolumePlan::plan(float requestedLevel, const std::optional<VolumeStatus>& status) {
    if (!std::isfinite(requestedLevel) || !isSettable(status)) return Unsupported{};
    return SetLevel{std::clamp(requestedLevel, 0.0F, 1.0F)};
}

} // namespace orvik::helper
