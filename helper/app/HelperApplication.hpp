#pragma once

#include "app/ApplicationServices.hpp"
#include "app/WindowRegistry.hpp"
#include "menubar/MenuSnapshot.hpp"

#include <memory>

namespace orvik::helper {

class TrayPresence;

// The running application on the GUI thread: the user-interface parts the services need, the services and the
// model, the tray with its menu, and the windows. Keeps running with no window open; ends through quit().
class HelperApplication {
public:
    explicit HelperApplication(std::shared_ptr<UserDefaults> defaults);
    ~HelperApplication();

    HelperApplication(const HelperApplication&) = delete;
    HelperApplication& operator=(const HelperApplication&) = delete;

    // Shows the tray, then opens the first-run window (onboarding not completed) or the permission window (the
    // permission was lost), once.
    void launch();
    // Stops the server, then ends the event loop. A second call while stopping does nothing.
    void quit();

private:
    void registerWindows();
    void startPairingInWindow();
    void refreshTray();

    WindowRegistry windows_;
    std::unique_ptr<ApplicationServices> services_;
    MenuActions menuActions_;
    std::unique_ptr<TrayPresence> tray_;
    std::size_t modelObserver_ = 0;
    bool quitting_ = false;
};

} // namespace orvik::helper
