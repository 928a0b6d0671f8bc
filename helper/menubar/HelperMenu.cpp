#include "menubar/HelperMenu.hpp"

#include "model/DisplayTexts.hpp"
#include "model/GlobalHotKeying.hpp"
#include "model/WindowID.hpp"

#include <utility>

namespace orvik::helper {
namespace {

using Kind = MenuItem::Kind;

// The pause hot key as Linux keyboards label it.
// Qt binds no Linux key to the standard Preferences and Quit sequences, so the menu names its own.
constexpr std::string_view settingsShortcut = "Ctrl+,";
constexpr std::string_view quitShortcut = "Ctrl+Q";

MenuItem item(Kind kind, std::string id, std::string title, std::function<void()> run = {}) {
    MenuItem made;
    made.kind = kind;
    made.id = std::move(id);
    made.title = std::move(title);
    made.run = std::move(run);
    return made;
}

MenuItem text(std::string id, std::string title) {
    MenuItem made = item(Kind::text, std::move(id), std::move(title));
    made.enabled = false;
    return made;
}

MenuItem separator(std::string id) {
    return item(Kind::separator, std::move(id), {});
}

MenuItem button(std::string id, std::string title, std::function<void()> run) {
    return item(Kind::button, std::move(id), std::move(title), std::move(run));
}

// Calls an action that the application may have left out.
template <typename Function, typename... Arguments>
std::function<void()> call(const Function& function, Arguments... arguments) {
    return [function, arguments...] {
        if (function) function(arguments...);
    };
}

std::function<void()> openWindow(const MenuActions& actions, std::string_view windowID) {
    return call(actions.openWindow, windowID);
}

MenuItem pairedDevicesMenu(const MenuSnapshot& snapshot, const MenuActions& actions) {
    MenuItem menu = item(Kind::submenu, "pairedDevices", "Paired Devices");
    if (snapshot.pairedDevices.empty()) menu.children.push_back(text("noDevices", "No paired devices"));
    for (const PairedDevice& device : snapshot.pairedDevices) {
        MenuItem deviceMenu = item(Kind::submenu, "device " + device.id.text(), device.name);
        deviceMenu.children.push_back(text("lastSeen", HelperMenu::lastSeenText(device, snapshot.now)));
        deviceMenu.children.push_back(button("remove", "Remove", call(actions.remove, device)));
        menu.children.push_back(std::move(deviceMenu));
    }
    return menu;
}

void appendSleepTimer(std::vector<MenuItem>& items, const MenuSnapshot& snapshot, const MenuActions& actions) {
    if (!snapshot.sleepTimer) return;
    const std::string name = HelperAppModel::localizedName(snapshot.sleepTimer->action);
    items.push_back(text("sleepTimer", name + " at " + DisplayTexts::shortTime(snapshot.sleepTimer->fireDate)));
    items.push_back(button("cancelSleepTimer", "Cancel " + name, call(actions.cancelSleepTimer)));
}

void appendScreenViewers(std::vector<MenuItem>& items, const MenuSnapshot& snapshot, const MenuActions& actions) {
    if (snapshot.screenViewers.empty()) return;
    std::vector<std::string> names;
    for (const ConnectedDevice& viewer : snapshot.screenViewers) names.push_back(viewer.name);
    items.push_back(separator("viewersSeparator"));
    items.push_back(text("viewers", "Viewing your screen: " + DisplayTexts::conjunctionList(names)));
    items.push_back(button("stopViewing", "Stop Viewing", call(actions.stopScreenViewing)));
}

} // namespace

std::string HelperMenu::statusText(const HelperAppModel::MenuStatus& status) {
    using Status = HelperAppModel::MenuStatus::Kind;
    switch (status.kind) {
    case Status::connected: return "Connected: " + DisplayTexts::conjunctionList(status.names);
    case Status::starting: return "Starting…";
    case Status::ready: return "Ready";
    case Status::paused: return "Paused";
    case Status::needsPermission: return "Needs permission";
    case Status::localNetworkBlocked: return "Local network access is off";
    case Status::failed: return "Can’t listen for iPhones";
    }
    return "Ready";
}

std::string HelperMenu::lastSeenText(const PairedDevice& device, Date now) {
    return DisplayTexts::lastSeenText(device.lastSeen, now);
}

std::vector<MenuItem> HelperMenu::items(const MenuSnapshot& snapshot, const MenuActions& actions) {
    std::vector<MenuItem> items;
    items.push_back(text("status", statusText(snapshot.menuStatus)));
    if (snapshot.menuStatus.kind == HelperAppModel::MenuStatus::Kind::needsPermission) {
        items.push_back(button("allowControl", "Allow Control…", openWindow(actions, WindowID::fixPermission)));
    }
    for (const HostPort& address : snapshot.addresses) {
        const std::string shown = address.description();
        items.push_back(text("address " + shown, "This computer: " + shown));
    }
    appendScreenViewers(items, snapshot, actions);
    items.push_back(separator("statusSeparator"));

    auto pair = [startPairing = call(actions.startPairing), open = openWindow(actions, WindowID::pairing)] {
        startPairing();
        open();
    };
    items.push_back(button("pair", "Pair iPhone…", pair));
    items.push_back(pairedDevicesMenu(snapshot, actions));
    appendSleepTimer(items, snapshot, actions);
    MenuItem pause = item(Kind::toggle, "pause", "Pause Orvik (" + std::string(GlobalHotKeying::displayString) + ")",
                          call(actions.setPaused, !snapshot.isPaused));
    pause.checked = snapshot.isPaused;
    items.push_back(std::move(pause));
    items.push_back(separator("pauseSeparator"));

    MenuItem settings = button("settings", "Settings…", call(actions.openSettings));
    settings.shortcut = settingsShortcut;
    items.push_back(std::move(settings));
    MenuItem updates = button("updates", "Check for Updates…", call(actions.checkForUpdates));
    updates.enabled = snapshot.updaterConfigured;
    items.push_back(std::move(updates));
    items.push_back(button("help", "Help", openWindow(actions, WindowID::help)));
    items.push_back(separator("helpSeparator"));
    items.push_back(button("selfTest", "Self-test: draw a small circle with the pointer", call(actions.runSelfTest)));
    items.push_back(button("onboarding", "Show Onboarding", openWindow(actions, WindowID::onboarding)));
    items.push_back(separator("quitSeparator"));
    MenuItem quit = button("quit", "Quit Orvik Helper", call(actions.quit));
    quit.shortcut = quitShortcut;
    items.push_back(std::move(quit));
    return items;
}

} // namespace orvik::helper
