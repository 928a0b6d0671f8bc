#include "core/AppInfo.hpp"

#ifndef ORVIK_HELPER_VERSION
#define ORVIK_HELPER_VERSION ""
#endif

namespace orvik::helper {

std::string AppInfo::shortVersion() {
    std::string version = ORVIK_HELPER_VERSION;
    return version.empty() ? "0" : version;
}

} // namespace orvik::helper
