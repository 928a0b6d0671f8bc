#pragma once

#include "core/UserDefaults.hpp"
#include "updates/UpdaterController.hpp"

#include <memory>

namespace orvik::helper {

// The update checker as this build was configured: its feed and key, the system's certificate authorities and the
// project version.
struct UpdaterFactory {
    UpdaterFactory() = delete;

    static std::unique_ptr<UpdaterController> make(UserDefaults& defaults);
};

} // namespace orvik::helper
