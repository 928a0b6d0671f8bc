#include "platform/DesktopLaunch.hpp"

#include "platform/ChildSetup.hpp"

#include <fcntl.h>
#include <gio/gdesktopappinfo.h>
#include <unistd.h>

#include <memory>

namespace orvik::helper {
namespace {

struct ObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};

// Runs in the child between fork and exec: only async-signal-safe calls. GIO's fork keeps our signal mask. A
// folder that cannot be entered leaves the child where GIO put it.
void prepareChild(gpointer folder) {
    ChildSetup::restoreSignalsInChild();
    if (folder != nullptr && ::chdir(static_cast<const char*>(folder)) != 0) return;
}

class NullDevice {
public:
    NullDevice() : descriptor_(::open(ChildSetup::nullDevice, O_RDWR | O_CLOEXEC)) {}
    ~NullDevice() {
        if (descriptor_ >= 0) ::close(descriptor_);
    }
    NullDevice(const NullDevice&) = delete;
    NullDevice& operator=(const NullDevice&) = delete;

    int get() const { return descriptor_; }

private:
    int descriptor_;
};

std::optional<std::string> launch(GDesktopAppInfo* app, GList* uris) {
    NullDevice null;
    if (null.get() < 0) return std::string("no null device");
    // An entry that names its own folder (Path) is left in it.
    gchar* entryFolder = g_desktop_app_info_get_string(app, "Path");
    const bool hasOwnFolder = entryFolder != nullptr && entryFolder[0] != '\0';
    g_free(entryFolder);
    const std::string home = ChildSetup::workingDirectory().string();
    gpointer folder =
        hasOwnFolder ? nullptr : const_cast<char*>(home.c_str()); // NOLINT(cppcoreguidelines-pro-type-const-cast)
    GError* error = nullptr;
    // Without G_SPAWN_LEAVE_DESCRIPTORS_OPEN every descriptor above standard error is closed in the child, also
    // those third-party libraries opened without close-on-exec; without G_SPAWN_DO_NOT_REAP_CHILD GIO leaves
    // the application to init, so nothing of it stays to reap.
    const bool started = g_desktop_app_info_launch_uris_as_manager_with_fds(
                             app, uris, nullptr, G_SPAWN_SEARCH_PATH, prepareChild, folder, nullptr, nullptr,
                             null.get(), null.get(), null.get(), &error) != FALSE;
    if (started) return std::nullopt;
    std::string reason = error != nullptr ? error->message : "not started";
    if (error != nullptr) g_error_free(error);
    return reason;
}

} // namespace

std::optional<std::string> DesktopLaunch::entry(const std::filesystem::path& desktopFile) {
    std::unique_ptr<GDesktopAppInfo, ObjectDeleter> app(g_desktop_app_info_new_from_filename(desktopFile.c_str()));
    if (!app) return std::string("no such entry");
    return launch(app.get(), nullptr);
}

std::optional<std::string> DesktopLaunch::link(const std::string& url) {
    gchar* scheme = g_uri_parse_scheme(url.c_str());
    if (scheme == nullptr) return std::string("not a link");
    std::unique_ptr<GAppInfo, ObjectDeleter> handler(g_app_info_get_default_for_uri_scheme(scheme));
    g_free(scheme);
    if (!handler || !G_IS_DESKTOP_APP_INFO(handler.get())) return std::string("no handler for the link's scheme");
    GList uris{const_cast<char*>(url.c_str()), nullptr, nullptr}; // NOLINT(cppcoreguidelines-pro-type-const-cast)
    return launch(G_DESKTOP_APP_INFO(handler.get()), &uris);
}

} // namespace orvik::helper
