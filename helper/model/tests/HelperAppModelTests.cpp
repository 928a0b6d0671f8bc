#include "model/HelperAppModel.hpp"

#include "ServerHarness.hpp"
#include "WaitUntil.hpp"
#include "model/XdgLoginItem.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "server/tests/FakeScreen.hpp"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <utility>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;

// The services the model is handed that only record what they are told.
class RecordingServices final : public ConnectionNotifying, public GlobalHotKeying, public UpdaterControlling {
public:
    void notifyConnected(const std::string& deviceName, MenuPlace menu) override {
        connected.push_back(deviceName + " " + menuPlaceText(menu));
    }
    void notifySleepTimer(const std::string&) override {}
    void setOnPress(std::function<void()>) override {}
    void setEnabled(bool enabled) override { hotKeyWrites.push_back(enabled); }
    bool isEnabled() const override { return !hotKeyWrites.empty() && hotKeyWrites.back(); }
    bool isConfigured() const override { return false; }
    bool automaticallyChecksForUpdates() const override { return false; }
    void setAutomaticallyChecksForUpdates(bool) override {}
    void checkForUpdates() override {}
    void checkForUpdatesInBackground() override {}

    std::vector<std::string> connected;
    std::vector<bool> hotKeyWrites;
};

// The server harness's real server on loopback, read by the model; the GUI thread is a queue the test runs
// itself, so events are applied exactly where the test says.
class Model : public ::testing::Test {
protected:
    Model() {
        auto screen = std::make_shared<ScreenServices>();
        screen->canCapture = [] { return true; };
        screen->makeSource = [] { return std::make_shared<testing::FakeSource>(); };
        screen->approve = [](auto, auto done) { done(ScreenViewingDecision::alwaysAllow); };
        screen->makeStream = [](auto, ScreenStream::Send send, ScreenStream::FailureHandler failed) {
            return std::make_shared<testing::FakeStream>(std::move(send), std::move(failed));
        };
        test::ServerHarness::Options options;
        options.services.screen = screen;
        options.preferences.screenViewingEnabled = true;
        options.preferences.screenViewingDevices = {ben};
        harness = std::make_unique<test::ServerHarness>(std::move(options));
    }

    void create(bool onboarded) {
        if (onboarded) harness->defaults->setBoolean(HelperAppModel::onboardingCompletedKey, true);
        HelperAppModel::Parts parts;
        parts.mainThread = [this](std::function<void()> task) {
            std::lock_guard lock(queueMutex);
            guiQueue.push_back(std::move(task));
        };
        parts.defaults = harness->defaults;
        parts.preferencesStore = harness->preferencesStore;
        parts.server = harness->server;
        parts.overlay = [this](OverlayMode mode) { overlayModes.push_back(mode); };
        parts.notifications = services;
        parts.updater = services;
        parts.hotKey = services;
        parts.loginItem = std::make_shared<XdgLoginItem>();
        parts.permission = PostEventPermission(harness->defaults, [this] { return granted; });
        parts.screenPermission = ScreenRecordingPermission([] { return true; });
        parts.drawSelfTestCircle = [this] { ++circlesDrawn; };
        model = HelperAppModel::create(std::move(parts));
    }
    void runGuiQueue() {
        std::unique_lock lock(queueMutex);
        auto due = std::exchange(guiQueue, {});
        lock.unlock();
        for (auto& task : due) task();
    }
    bool waitFor(const std::function<bool()>& condition) {
        return test::waitUntil(condition, 10s, [this] {
            runGuiQueue();
            std::this_thread::sleep_for(2ms);
        });
    }
    // Lets the server finish what was asked of it so far, then applies everything it published.
    void settle() {
        harness->onServer([](HelperServer&) {});
        for (int pass = 0; pass < 3; ++pass) runGuiQueue();
    }
    void waitForListener() {
        ASSERT_TRUE(waitFor([this] { return model->listenerStatus().readyPort().has_value(); }));
        harness->port = *model->listenerStatus().readyPort();
    }
    void publish(ServerEvent event) {
        harness->server->events()->publish(std::move(event));
        runGuiQueue();
    }

    const Uuid ben = Uuid::random();
    std::shared_ptr<RecordingServices> services = std::make_shared<RecordingServices>();
    std::vector<OverlayMode> overlayModes;
    bool granted = true;
    int circlesDrawn = 0;
    std::mutex queueMutex;
    std::vector<std::function<void()>> guiQueue;
    std::unique_ptr<test::ServerHarness> harness;
    std::shared_ptr<HelperAppModel> model; // goes first: it holds the server's event stream
};

ConnectedDevice connected(const std::string& name, const Uuid& deviceID = Uuid::random()) {
    return {Uuid::random(), deviceID, name, "127.0.0.1"};
}

using Kind = HelperAppModel::MenuStatus::Kind;
using Glyph = MenuBarGlyphState;

struct StatusCase {
    std::string name;
    bool granted, paused;
    ListenerStatus listener;
    std::size_t connections; // named "1", "2", …
    bool viewing;
    Kind status;
    Glyph glyph;
};

class MenuStatusAndGlyph : public Model, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(MenuStatusAndGlyph, FollowTheRulesInOrder) {
    const auto& row = GetParam();
    granted = row.granted;
    create(false);
    publish(ServerEvent::listenerStatus(row.listener));
    publish(ServerEvent::paused(row.paused));
    std::vector<ConnectedDevice> devices;
    std::vector<std::string> names;
    for (std::size_t n = 1; n <= row.connections; ++n)
        devices.push_back(connected(names.emplace_back(std::to_string(n))));
    publish(ServerEvent::connections(devices));
    if (row.viewing) publish(ServerEvent::screenViewers({connected("Viewer")}));
    if (row.status != Kind::connected) names.clear();
    EXPECT_EQ(model->menuStatus(), (HelperAppModel::MenuStatus{row.status, names}));
    EXPECT_EQ(model->glyphState(), row.glyph);
}

const auto ready = ListenerStatus::ready(4000);
const auto failed = ListenerStatus::failed("address in use");

INSTANTIATE_TEST_SUITE_P(
    Rules, MenuStatusAndGlyph,
    ::testing::Values(StatusCase{"Ready", true, false, ready, 0, false, Kind::ready, Glyph::idle},
                      StatusCase{"Connected", true, false, ready, 2, false, Kind::connected, Glyph::connected},
                      StatusCase{"Viewing", true, false, ready, 1, true, Kind::connected, Glyph::viewing},
                      StatusCase{"Paused", true, true, ready, 1, true, Kind::paused, Glyph::slashed},
                      StatusCase{"NoPermission", false, true, failed, 0, false, Kind::needsPermission, Glyph::slashed},
                      StatusCase{"Failed", true, false, failed, 0, false, Kind::failed, Glyph::idle},
                      StatusCase{"NetworkDenied", true, false, ListenerStatus::localNetworkDenied(), 0, true,
                                 Kind::localNetworkBlocked, Glyph::viewing},
                      StatusCase{"NotStarted", true, false, ListenerStatus::starting(), 0, false, Kind::ready,
                                 Glyph::idle}),
    [](const auto& entry) { return entry.param.name; });

TEST_F(Model, NewcomersAreNotifiedByDeviceAndAnEmptyListSwitchesTheOverlayOff) {
    create(false);
    const auto anna = Uuid::random();
    publish(ServerEvent::connections({connected("Anna", anna)}));
    int observed = 0;
    const auto token = model->addObserver([&] { ++observed; });
    model->setMenuPlace(MenuPlace::window); // no tray showed up
    model->setMenuPlace(MenuPlace::window);
    model->removeObserver(token);
    EXPECT_EQ(observed, 1);
    publish(ServerEvent::connections({connected("Anna", anna), connected("Ben")}));
    EXPECT_EQ(services->connected,
              (std::vector<std::string>{"Anna in the system tray", "Ben in the Orvik Helper window"}))
        << "a new session is no newcomer";
    publish(ServerEvent::connections({}));
    publish(ServerEvent::connections({}));
    EXPECT_EQ(overlayModes, (std::vector<OverlayMode>{OverlayMode::off, OverlayMode::off}));
}

TEST_F(Model, OnlyAChangedFieldReachesTheServerAndTheHotKey) {
    create(false);
    EXPECT_EQ(services->hotKeyWrites, std::vector<bool>{true});
    model->setPreference({&HelperPreferences::overlaySize, model->preferences().overlaySize});
    auto changed = model->preferences();
    changed.pauseHotKeyEnabled = false;
    changed.scrollMode = ScrollMode::phased;
    model->setPreference({&HelperPreferences::pauseHotKeyEnabled, false});
    model->setPreference({&HelperPreferences::scrollMode, ScrollMode::phased});
    EXPECT_EQ(model->preferences(), changed) << "shown before the server has it";
    EXPECT_EQ(services->hotKeyWrites, (std::vector<bool>{true, false}));
    settle();
    EXPECT_EQ(harness->preferencesStore->load(), changed);
    EXPECT_EQ(model->preferences(), changed);
    EXPECT_FALSE(harness->server->isRunning()) << "onboarding is not completed";

    model->startServer();
    EXPECT_EQ(model->menuStatus().kind, Kind::starting);
    waitForListener();
    EXPECT_TRUE(harness->server->isRunning());
}

// Two changes within one round trip: the record the server publishes for the first predates the second, which
// stays shown, and the hot key is not released and grabbed again.
TEST_F(Model, AChangeTheServerHasNotFinishedIsNeverShownUndone) {
    create(false);
    model->setPreference({&HelperPreferences::scrollMode, ScrollMode::phased});
    harness->onServer([](HelperServer&) {}); // it has published its record, not yet seen here
    std::promise<void> release;
    asio::post(harness->server->executor(), [held = release.get_future().share()] { held.wait(); });
    model->setPreference({&HelperPreferences::pauseHotKeyEnabled, false});
    int shownUndone = 0;
    const auto token = model->addObserver([&] { shownUndone += model->preferences().pauseHotKeyEnabled ? 1 : 0; });
    runGuiQueue(); // the record published for the first change
    release.set_value();
    settle();
    model->removeObserver(token);
    EXPECT_EQ(shownUndone, 0);
    EXPECT_FALSE(model->preferences().pauseHotKeyEnabled);
    EXPECT_EQ(model->preferences().scrollMode, ScrollMode::phased);
    EXPECT_EQ(services->hotKeyWrites, (std::vector<bool>{true, false}));

    // Once finished, the server's own record is shown again.
    auto stored = harness->preferencesStore->load();
    stored.overlaySize = HelperPreferences::OverlaySize::large;
    publish(ServerEvent::preferences(stored));
    EXPECT_EQ(model->preferences(), stored);
}

// The server stores an "Always Allow" answer and a removal itself; a later settings change must keep both.
TEST_F(Model, ASettingsChangeKeepsWhatTheServerStoredItself) {
    const test::TestDevice anna{Uuid::random(), *OrvikKeys::randomBytes(OrvikKeys::deviceKeyLength)};
    harness->store->add(PairedDevice{anna.id, "Anna", "Phone15,2", {}}, anna.key);
    harness->store->add(PairedDevice{ben, "Ben", "Phone15,2", {}}, anna.key);
    create(true);
    waitForListener();
    auto phone = harness->authenticatedPhone(anna);
    // With nothing scheduled, cancelling still tells every phone the status.
    model->cancelSleepTimer();
    EXPECT_NO_THROW(phone->expect<HelperStatus>());

    phone->send(ScreenStart{std::nullopt, ScreenSettings{1280, 800, 30, std::nullopt}, {ScreenCodec::h264}});
    ASSERT_TRUE(waitFor([this] { return model->glyphState() == MenuBarGlyphState::viewing; }));
    model->remove(PairedDevice{ben, "Ben", "", {}});
    ASSERT_TRUE(waitFor([this] { return model->pairedDevices().size() == 1; }));

    model->setPreference({&HelperPreferences::overlayColor, HelperPreferences::OverlayColor::red});
    settle();
    EXPECT_EQ(harness->preferencesStore->load().overlayColor, HelperPreferences::OverlayColor::red);
    EXPECT_EQ(harness->preferencesStore->load().screenViewingDevices, std::vector<Uuid>{anna.id});
    EXPECT_EQ(model->screenViewingDeviceNames(), std::vector<std::string>{"Anna"});
}

// The same when the settings change is made before the model has heard of the server's changes: only the changed
// field travels, and the model then shows the record the server published.
TEST_F(Model, ASettingsChangeMadeBeforeTheServersNewsArrivesKeepsIt) {
    const test::TestDevice anna{Uuid::random(), *OrvikKeys::randomBytes(OrvikKeys::deviceKeyLength)};
    harness->store->add(PairedDevice{anna.id, "Anna", "Phone15,2", {}}, anna.key);
    harness->store->add(PairedDevice{ben, "Ben", "Phone15,2", {}}, anna.key);
    create(true);
    waitForListener();
    auto phone = harness->authenticatedPhone(anna);
    phone->send(ScreenStart{std::nullopt, ScreenSettings{1280, 800, 30, std::nullopt}, {ScreenCodec::h264}});
    model->remove(PairedDevice{ben, "Ben", "", {}});
    // Wait on the store, not on the model: the GUI queue stays unrun, so the model still holds the older record.
    ASSERT_TRUE(test::waitUntil([this, &anna] {
        return harness->preferencesStore->load().screenViewingDevices == std::vector<Uuid>{anna.id};
    }));

    model->setPreference({&HelperPreferences::overlayColor, HelperPreferences::OverlayColor::red});
    settle();
    auto stored = harness->preferencesStore->load();
    EXPECT_EQ(stored.overlayColor, HelperPreferences::OverlayColor::red);
    EXPECT_EQ(stored.screenViewingDevices, std::vector<Uuid>{anna.id});
    EXPECT_EQ(model->preferences(), stored);
}

TEST_F(Model, APairingReplyOlderThanTheLastPairingEventIsDropped) {
    create(true);
    waitForListener();
    model->startPairing();
    model->startPairing();
    model->cancelPairing();
    settle();
    EXPECT_EQ(model->pairing(), std::nullopt);
}

TEST_F(Model, WhoOpenedAPairingWindowLearnsWhichAndClosesOnlyThatOne) {
    create(true);
    waitForListener();
    std::optional<PairingInfo> first, second;
    model->startPairing([&](const std::optional<PairingInfo>& info) { first = info; });
    settle();
    model->startPairing([&](const std::optional<PairingInfo>& info) { second = info; });
    settle();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->sessionID, second->sessionID);
    EXPECT_EQ(model->pairing(), second);
    model->cancelPairing(first->sessionID);
    settle();
    EXPECT_EQ(model->pairing(), second) << "a window opened since stays";
    model->cancelPairing(second->sessionID);
    settle();
    EXPECT_EQ(model->pairing(), std::nullopt);
}

TEST_F(Model, TheSelfTestAsksForThePermissionUntilItIsGranted) {
    granted = false;
    create(false);
    model->runSelfTest();
    EXPECT_TRUE(PostEventPermission(harness->defaults).hasRequestedBefore());
    model->requestPermission();
    EXPECT_FALSE(model->canPostEvents());
    granted = true;
    model->requestPermission();
    model->runSelfTest();
    EXPECT_TRUE(model->canPostEvents());
    EXPECT_EQ(circlesDrawn, 1);
}

} // namespace
} // namespace orvik::helper
