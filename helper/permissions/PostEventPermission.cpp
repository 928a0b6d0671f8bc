#include "permissions/PostEventPermission.hpp"

#include "core/FileUserDefaults.hpp"

namespace orvik::helper {

PostEventPermission::PostEventPermission(std::shared_ptr<UserDefaults> defaults, Probe probe)
    : defaults_(defaults ? std::move(defaults) : FileUserDefaults::standard()), probe_(std::move(probe)) {
    if (!probe_) probe_ = [] { return false; };
}

bool PostEventPermission::isGranted() const {
    bool granted = probe_();
    if (granted) defaults_->setBoolean(grantedBeforeKey, true);
    return granted;
}

bool PostEventPermission::request() const {
    bool granted = probe_();
    defaults_->setBoolean(requestedBeforeKey, true);
    if (granted) defaults_->setBoolean(grantedBeforeKey, true);
    return granted;
}

bool PostEventPermission::hasRequestedBefore() const {
    return defaults_->boolean(requestedBeforeKey).value_or(false);
}

bool PostEventPermission::wasLost() const {
    if (probe_()) return false;
    return defaults_->boolean(grantedBeforeKey).value_or(false);
}

} // namespace orvik::helper
