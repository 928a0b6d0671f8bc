#pragma once

#include "core/UserDefaults.hpp"
#include "permissions/PostEventPermission.hpp"
#include "permissions/ScreenRecordingPermission.hpp"

#include <memory>

namespace orvik::helper {

// The production permissions: both ask the X11 session probe shared by the whole process.
PostEventPermission sessionPostEventPermission(std::shared_ptr<UserDefaults> defaults = nullptr);
ScreenRecordingPermission sessionScreenRecordingPermission();

} // namespace orvik::helper
