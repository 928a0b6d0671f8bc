#include "pro/GioURLOpener.hpp"

#include "core/Log.hpp"

#include <gio/gio.h>

namespace orvik::helper {

void GioURLOpener::open(std::string url, std::function<void(bool)> done) {
    GError* error = nullptr;
    const bool opened = g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error) != FALSE;
    if (error != nullptr) {
        // The link itself is the user's business; only the reason is logged.
        Log::debug("Pro", std::string("No handler opened a link: ") + error->message);
        g_error_free(error);
    }
    done(opened);
}

} // namespace orvik::helper
