#include "pro/GioURLOpener.hpp"

#include "core/Log.hpp"
#include "platform/DesktopLaunch.hpp"

namespace orvik::helper {

void GioURLOpener::open(std::string url, std::function<void(bool)> done) {
    const auto failure = DesktopLaunch::link(url);
    // The link itself is the user's business; only the reason is logged.
    if (failure) Log::debug("Pro", "No handler opened a link: " + *failure);
    done(!failure);
}

} // namespace orvik::helper
