#pragma once

#include <string>

namespace orvik::helper {

// Facts about this build of the application, fixed at compile time.
struct AppInfo {
    AppInfo() = delete;

    // The short version text ("0.1.0"); "0" when the build carries none.
    static std::string shortVersion();
};

} // namespace orvik::helper
