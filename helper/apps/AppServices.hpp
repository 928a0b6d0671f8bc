#pragma once

#include "pro/AppCataloging.hpp"
#include "system/FrontmostAppTracking.hpp"

#include <functional>
#include <memory>

namespace orvik::helper {

// The production app catalog and frontmost-app tracker of this desktop (X11, XDG folders of the environment).
std::unique_ptr<AppCataloging> makeAppCatalog();
// `onChange` is called from the tracker's own thread after each change of the frontmost application.
std::unique_ptr<FrontmostAppTracking> makeFrontmostAppTracker(std::function<void()> onChange);

} // namespace orvik::helper
