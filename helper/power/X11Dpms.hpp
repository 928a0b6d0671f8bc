#pragma once

#include "power/DpmsControlling.hpp"

#include <memory>

namespace orvik::helper {

// DPMS on the X server of $DISPLAY; absent without an X server or on one without DPMS (Xvfb has none).
std::unique_ptr<DpmsControlling> openX11Dpms();

} // namespace orvik::helper
