#pragma once

#include "core/UserDefaults.hpp"
#include "model/ConnectionNotifying.hpp"
#include "model/GlobalHotKeying.hpp"
#include "model/LoginItem.hpp"
#include "model/MenuPlace.hpp"
#include "model/UpdaterControlling.hpp"
#include "orvik/protocol/messages/CommandMessages.hpp"
#include "permissions/PostEventPermission.hpp"
#include "permissions/ScreenRecordingPermission.hpp"
#include "permissions/SystemSettingsLink.hpp"
#include "preferences/HelperPreferences.hpp"
#include "preferences/PreferenceChange.hpp"
#include "preferences/PreferencesStore.hpp"
#include "server/HelperIdentity.hpp"
#include "server/HelperServer.hpp"
#include "server/SystemInfo.hpp"
#include "system/SleepTimer.hpp"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvik::helper {

// What the tray glyph shows; drawn by MenuBarGlyph.
enum class MenuBarGlyphState { idle, connected, viewing, slashed };

// The application's one model: it mirrors the server's events, derives what the tray shows, and carries out the
// local user's actions. Every member is used on the GUI thread only. Actions return at once: each call into the
// server is posted to the server's thread in call order, and outcomes come back as server events, applied one at
// a time on the GUI thread in publication order. Nothing here waits for the server.
class HelperAppModel : public std::enable_shared_from_this<HelperAppModel> {
public:
    static constexpr std::string_view onboardingCompletedKey = "onboardingCompleted";

    // The status line of the menu.
    struct MenuStatus {
        enum class Kind { connected, starting, ready, paused, needsPermission, localNetworkBlocked, failed };
        Kind kind = Kind::ready;
        std::vector<std::string> names; // connected only: the connected devices' names, in order

        friend bool operator==(const MenuStatus&, const MenuStatus&) = default;
    };

    // Runs a callable on the GUI thread, later, never inline.
    using MainThread = std::function<void(std::function<void()>)>;

    // What the composition root builds and hands over. Required: mainThread, defaults, preferencesStore, server,
    // notifications, updater, hotKey, loginItem. The rest may be absent.
    struct Parts {
        MainThread mainThread;
        std::shared_ptr<UserDefaults> defaults;
        // Read once, for the record shown until the server publishes one.
        std::shared_ptr<PreferencesStore> preferencesStore;
        HelperIdentity identity;
        // Built, not started; its events are read by this model only.
        std::shared_ptr<HelperServer> server;
        // The system controller's sleep timer; absent: no sleep timer is shown.
        std::shared_ptr<SleepTimer> sleepTimer;
        // Switches the presentation overlay; absent: there is none.
        std::function<void(OverlayMode)> overlay;
        std::shared_ptr<ConnectionNotifying> notifications;
        std::shared_ptr<UpdaterControlling> updater;
        std::shared_ptr<GlobalHotKeying> hotKey;
        std::shared_ptr<LoginItem> loginItem;
        PostEventPermission permission;
        ScreenRecordingPermission screenPermission;
        // Draws the self-test circle with a sink of its own, off the GUI thread; absent: the self-test does nothing.
        std::function<void()> drawSelfTestCircle;
        // Opens a settings link; absent: links open nothing.
        std::function<void(const std::string& url)> openURL;
        // Host queries for the addresses shown to the user; absent: none shown.
        std::shared_ptr<SystemInfo> systemInfo;
    };

    // Runs the construction: loads the preferences, hooks the sleep timer and the hot key, starts reading the
    // server's events, and starts the server when onboarding was completed.
    static std::shared_ptr<HelperAppModel> create(Parts parts);
    ~HelperAppModel();

    HelperAppModel(const HelperAppModel&) = delete;
    HelperAppModel& operator=(const HelperAppModel&) = delete;

    // Observation: each observer runs after a change of any tracked property (an equal write notifies nobody).
    using Observer = std::function<void()>;
    std::size_t addObserver(Observer observer);
    void removeObserver(std::size_t token);

    // Tracked state.
    const ListenerStatus& listenerStatus() const { return listenerStatus_; }
    const std::vector<ConnectedDevice>& connections() const { return connections_; }
    const std::vector<PairedDevice>& pairedDevices() const { return pairedDevices_; }
    const std::optional<PairingInfo>& pairing() const { return pairing_; }
    const std::optional<PairedDevice>& lastPairedDevice() const { return lastPairedDevice_; }
    bool isPaused() const { return isPaused_; }
    const std::optional<SleepTimer::Scheduled>& sleepTimer() const { return sleepTimer_; }
    bool canPostEvents() const { return canPostEvents_; }
    bool canCaptureScreen() const { return canCaptureScreen_; }
    const std::vector<ConnectedDevice>& screenViewers() const { return screenViewers_; }
    // Where the menu is, as the tray reports it (in the tray until told otherwise); texts that send the user to
    // the menu say where it is.
    MenuPlace menuPlace() const { return menuPlace_; }
    void setMenuPlace(MenuPlace place);
    // The record the server last published (or the stored one before it published any), with the changes made
    // here since shown at once.
    const HelperPreferences& preferences() const { return preferences_; }
    // Sets one field: shown at once and sent to the server, which merges it into its record and publishes that;
    // an equal value sends nothing. The hot key follows the shown record.
    void setPreference(PreferenceChange change);

    // Constants.
    const HelperIdentity& identity() const { return parts_.identity; }
    UpdaterControlling& updater() const { return *parts_.updater; }

    // Derived values, computed at each read.
    MenuStatus menuStatus() const;
    MenuBarGlyphState glyphState() const;
    std::vector<HostPort> addresses() const;
    bool permissionWasLost() const;
    std::vector<std::string> screenViewingDeviceNames() const;
    bool launchesAtLogin() const;
    void setLaunchesAtLogin(bool enabled);
    bool onboardingCompleted() const;
    void setOnboardingCompleted(bool completed);

    // Actions.
    void togglePause();
    void setPaused(bool paused);
    void startServer();
    void refreshPermission();
    void requestPermission();
    // Asks for a new pairing window; `opened` runs on the GUI thread with the one the server opened for this
    // request, or none (also when a newer event has replaced it meanwhile).
    void startPairing(std::function<void(const std::optional<PairingInfo>&)> opened = {});
    void cancelPairing();
    // Closes the pairing window only while it is the one with this identifier.
    void cancelPairing(const Uuid& sessionID);
    // Pairing views on screen in every window together, counted by the views: a view that goes ends the session
    // only when it was the last, so no window ends a session that another open window shows.
    std::size_t pairingViewsShown() const { return pairingViewsShown_; }
    void countPairingView(bool shown);
    void remove(const PairedDevice& device);
    void setScreenViewingEnabled(bool enabled);
    void refreshScreenPermission();
    void stopScreenViewing();
    void forgetScreenViewingDevices();
    void cancelSleepTimer();
    void runSelfTest();
    // Opens a system settings link when it is present; an absent one opens nothing.
    void openLink(const std::optional<std::string>& url) const;

    // Stops the server (every session ends, the listener closes) and calls `done` on the GUI thread afterwards.
    void shutDown(std::function<void()> done);

    // The display name of a power action.
    static std::string localizedName(PowerAction action);

private:
    explicit HelperAppModel(Parts parts);

    void observeServer();
    void drainEvents();
    // Whether a tracked property changed.
    bool apply(const ServerEvent& event);
    bool showPreferences(HelperPreferences preferences);
    // The server's record with the changes made here that it has not finished yet on top.
    bool showPublished(HelperPreferences published);
    void preferenceChangeDone(std::uint64_t number);
    void changed();

    Parts parts_;
    ListenerStatus listenerStatus_ = ListenerStatus::starting();
    std::vector<ConnectedDevice> connections_;
    std::vector<PairedDevice> pairedDevices_;
    std::optional<PairingInfo> pairing_;
    std::optional<PairedDevice> lastPairedDevice_;
    bool isPaused_ = false;
    std::optional<SleepTimer::Scheduled> sleepTimer_;
    bool canPostEvents_ = false;
    bool canCaptureScreen_ = false;
    std::vector<ConnectedDevice> screenViewers_;
    MenuPlace menuPlace_ = MenuPlace::tray;
    HelperPreferences preferences_;
    // Changes made here that the server is still working on, oldest first, by number: a record it publishes
    // meanwhile predates some of them, and showing it alone would show them undone.
    std::vector<std::pair<std::uint64_t, PreferenceChange>> unfinishedChanges_;
    std::uint64_t preferenceChangesMade_ = 0;
    bool serverStarted_ = false;

    // Pairing events applied so far: a startPairing() reply is applied only when none arrived since its request.
    std::uint64_t pairingEventsApplied_ = 0;
    std::size_t pairingViewsShown_ = 0;

    std::map<std::size_t, Observer> observers_;
    std::size_t nextObserverToken_ = 0;
};

} // namespace orvik::helper
