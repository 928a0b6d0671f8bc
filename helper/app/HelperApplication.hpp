#pragma once

#include "app/ApplicationServices.hpp"
#include "app/WindowRegistry.hpp"
#include "menubar/MenuSnapshot.hpp"

#include <chrono>
#include <memory>

namespace orvik::helper {

class TrayPresence;

// The running application on the GUI thread: the user-interface parts the services need, the services and the
// model, the tray with its menu, and the windows. Keeps running with no window open; ends through quit().
class HelperApplication {
public:
    // How long quitting waits for the server to stop before it ends the event loop anyway.
    static constexpr std::chrono::milliseconds shutDownLimit{2000};

    explicit HelperApplication(std::shared_ptr<UserDefaults> defaults);
    ~HelperApplication();

    HelperApplication(const HelperApplication&) = delete;
    HelperApplication& operator=(const HelperApplication&) = delete;

    // Shows the tray, then opens the first-run window (onboarding not completed) or the permission window (the
    // permission was lost), once.
    void launch();
    // What a second start of the program asks for: the first-run window while onboarding is not completed,
    // else the open windows (the one opened last on top), else the window standing in for a missing tray.
    void bringForward();
    // Closes every window, stops the server, then ends the event loop, also when a window refuses to close or
    // the server does not stop within shutDownLimit. A second call while stopping does nothing.
    void quit();

private:
    void registerWindows();
    void startPairingInWindow();
    // Tells the model and the open help window where the menu is now.
    void followMenuPlace();
    void refreshTray();

    WindowRegistry windows_;
    std::unique_ptr<ApplicationServices> services_;
    MenuActions menuActions_;
    std::unique_ptr<TrayPresence> tray_;
    std::size_t modelObserver_ = 0;
    bool quitting_ = false;
};

} // namespace orvik::helper
