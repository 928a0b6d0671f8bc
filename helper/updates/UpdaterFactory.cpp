#include "updates/UpdaterFactory.hpp"

#include "core/AppInfo.hpp"

namespace orvik::helper {

std::unique_ptr<UpdaterController> UpdaterFactory::make(UserDefaults& defaults) {
    UpdateConfiguration configuration{ORVIK_UPDATE_FEED_URL, ORVIK_UPDATE_PUBLIC_KEY, AppInfo::shortVersion(), {}};
    return std::make_unique<UpdaterController>(std::move(configuration), defaults);
}

} // namespace orvik::helper
