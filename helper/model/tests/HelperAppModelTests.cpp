#include "model/HelperAppModel.hpp"

#include "TestPhone.hpp"
#include "WaitUntil.hpp"
#include "clipboard/FakePasteboard.hpp"
#include "core/InMemoryUserDefaults.hpp"
#include "injection/RecordingSink.hpp"
#include "model/XdgLoginItem.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "pairing/InMemoryDeviceStore.hpp"
#include "server/tests/FakeScreen.hpp"

#include <gtest/gtest.h>

#include <future>
#include <mutex>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;

class RecordingNotifier final : public ConnectionNotifying {
public:
    void notifyConnected(const std::string& deviceName) override { connected.push_back(deviceName); }
    void notifySleepTimer(const std::string&) override {}
    std::vector<std::string> connected;
};

class RecordingHotKey final : public GlobalHotKeying {
public:
    void setOnPress(std::function<void()> onPress) override { pressed = std::move(onPress); }
    void setEnabled(bool enabled) override { writes.push_back(enabled); }
    bool isEnabled() const override { return !writes.empty() && writes.back(); }
    std::function<void()> pressed;
    std::vector<bool> writes;
};

class NoUpdater final : public UpdaterControlling {
public:
    bool isConfigured() const override { return false; }
    bool automaticallyChecksForUpdates() const override { return false; }
    void setAutomaticallyChecksForUpdates(bool) override {}
    void checkForUpdates() override {}
    void checkForUpdatesInBackground() override {}
};

struct Device {
    Uuid id = Uuid::random();
    Bytes key = *OrvikKeys::randomBytes(OrvikKeys::deviceKeyLength);
};

// A real server on loopback with in-memory stores; the GUI thread is a queue the test runs itself, so events are
// applied exactly where the test says.
class ModelTest : public ::testing::Test {
protected:
    ~ModelTest() override {
        model.reset();
        if (server) onServer([](HelperServer& s) { s.stop(); });
    }

    Device addDevice(const std::string& name) {
        Device device;
        store->add(PairedDevice{device.id, name, "Phone15,2", std::chrono::system_clock::now()}, device.key);
        return device;
    }

    void create(bool onboarded) {
        if (onboarded) defaults->setBoolean(HelperAppModel::onboardingCompletedKey, true);
        auto screen = std::make_shared<ScreenServices>();
        screen->canCapture = [] { return true; };
        screen->makeSource = [] { return std::make_shared<testing::FakeSource>(); };
        screen->approve = [](ScreenViewingRequest, std::function<void(ScreenViewingDecision)> done) {
            done(ScreenViewingDecision::alwaysAllow);
        };
        screen->makeStream = [](auto, ScreenStream::Send send, ScreenStream::FailureHandler failed) {
            return std::make_shared<testing::FakeStream>(std::move(send), std::move(failed));
        };
        HelperServer::Configuration configuration;
        configuration.identity = {Uuid::random(), "Test Computer", "Model1,1", "1.0"};
        configuration.store = store;
        configuration.preferencesStore = preferencesStore;
        configuration.services.screen = screen;
        configuration.sink = std::make_shared<RecordingSink>();
        configuration.pasteboard = std::make_shared<FakePasteboard>();
        configuration.listenerOptions = ListenerOptions::loopbackTest();
        server = HelperServer::create(serverThread.executor(), std::move(configuration));
        HelperAppModel::Parts parts;
        parts.mainThread = [this](std::function<void()> task) { post(std::move(task)); };
        parts.defaults = defaults;
        parts.preferencesStore = preferencesStore;
        parts.server = server;
        parts.overlay = [this](OverlayMode mode) { overlayModes.push_back(mode); };
        parts.notifications = notifier;
        parts.updater = std::make_shared<NoUpdater>();
        parts.hotKey = hotKey;
        parts.loginItem = std::make_shared<XdgLoginItem>();
        parts.permission = PostEventPermission(defaults, [this] { return granted; });
        parts.screenPermission = ScreenRecordingPermission([] { return true; });
        parts.drawSelfTestCircle = [this] { ++circlesDrawn; };
        model = HelperAppModel::create(std::move(parts));
    }

    void post(std::function<void()> task) {
        std::lock_guard lock(queueMutex);
        guiQueue.push_back(std::move(task));
    }
    void runGuiQueue() {
        std::vector<std::function<void()>> due;
        {
            std::lock_guard lock(queueMutex);
            due.swap(guiQueue);
        }
        for (auto& task : due) task();
    }
    bool waitFor(const std::function<bool()>& condition) {
        return test::waitUntil(condition, 10s, [this] {
            runGuiQueue();
            std::this_thread::sleep_for(2ms);
        });
    }
    template <class F> std::invoke_result_t<F, HelperServer&> onServer(F operation) {
        std::packaged_task<std::invoke_result_t<F, HelperServer&>()> task([&] { return operation(*server); });
        auto result = task.get_future();
        asio::post(serverThread.executor(), [&task] { task(); });
        return result.get();
    }
    // Lets the server finish what was asked of it so far, then applies everything it published.
    void settle() {
        onServer([](HelperServer&) {});
        for (int pass = 0; pass < 3; ++pass) runGuiQueue();
    }
    std::uint16_t waitForListener() {
        EXPECT_TRUE(waitFor([this] { return model->listenerStatus().readyPort().has_value(); }));
        return model->listenerStatus().readyPort().value_or(0);
    }
    void publish(ServerEvent event) {
        server->events()->publish(std::move(event));
        runGuiQueue();
    }

    std::shared_ptr<InMemoryDeviceStore> store = std::make_shared<InMemoryDeviceStore>();
    std::shared_ptr<InMemoryPreferencesStore> preferencesStore = std::make_shared<InMemoryPreferencesStore>();
    std::shared_ptr<InMemoryUserDefaults> defaults = std::make_shared<InMemoryUserDefaults>();
    std::shared_ptr<RecordingNotifier> notifier = std::make_shared<RecordingNotifier>();
    std::shared_ptr<RecordingHotKey> hotKey = std::make_shared<RecordingHotKey>();
    std::vector<OverlayMode> overlayModes;
    bool granted = true;
    int circlesDrawn = 0;

    std::mutex queueMutex;
    std::vector<std::function<void()>> guiQueue;
    IoThread serverThread{HelperServer::threadName};
    test::PhoneThread phones;
    std::shared_ptr<HelperServer> server;
    std::shared_ptr<HelperAppModel> model;
};

ConnectedDevice connected(const std::string& name, const Uuid& deviceID = Uuid::random()) {
    return {Uuid::random(), deviceID, name, "127.0.0.1"};
}

struct StatusCase {
    std::string name;
    bool granted;
    bool paused;
    ListenerStatus listener;
    std::vector<std::string> connections;
    bool viewing;
    HelperAppModel::MenuStatus status;
    MenuBarGlyphState glyph;
};

class MenuStatusAndGlyph : public ModelTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(MenuStatusAndGlyph, FollowTheRulesInOrder) {
    const auto& row = GetParam();
    granted = row.granted;
    create(false);
    publish(ServerEvent::listenerStatus(row.listener));
    publish(ServerEvent::paused(row.paused));
    std::vector<ConnectedDevice> devices;
    for (const auto& name : row.connections) devices.push_back(connected(name));
    publish(ServerEvent::connections(devices));
    if (row.viewing) publish(ServerEvent::screenViewers({connected("Viewer")}));
    EXPECT_EQ(model->menuStatus(), row.status);
    EXPECT_EQ(model->glyphState(), row.glyph);
}

using Kind = HelperAppModel::MenuStatus::Kind;
const auto ready = ListenerStatus::ready(4000);

INSTANTIATE_TEST_SUITE_P(
    Rules, MenuStatusAndGlyph,
    ::testing::Values(
        StatusCase{"Ready", true, false, ready, {}, false, {Kind::ready, {}}, MenuBarGlyphState::idle},
        StatusCase{"Connected", true, false, ready, {"A", "B"}, false, {Kind::connected, {"A", "B"}},
                   MenuBarGlyphState::connected},
        StatusCase{"Viewing", true, false, ready, {"A"}, true, {Kind::connected, {"A"}}, MenuBarGlyphState::viewing},
        StatusCase{"Paused", true, true, ready, {"A"}, true, {Kind::paused, {}}, MenuBarGlyphState::slashed},
        StatusCase{"NoPermission", false, true, ListenerStatus::failed("x"), {}, false, {Kind::needsPermission, {}},
                   MenuBarGlyphState::slashed},
        StatusCase{"Failed", true, false, ListenerStatus::failed("x"), {}, false, {Kind::failed, {}},
                   MenuBarGlyphState::idle},
        StatusCase{"NetworkDenied", true, false, ListenerStatus::localNetworkDenied(), {}, true,
                   {Kind::localNetworkBlocked, {}}, MenuBarGlyphState::viewing},
        StatusCase{"NotStarted", true, false, ListenerStatus::starting(), {}, false, {Kind::ready, {}},
                   MenuBarGlyphState::idle}),
    [](const auto& entry) { return entry.param.name; });

TEST_F(ModelTest, NewcomersAreNotifiedByDeviceAndAnEmptyListSwitchesTheOverlayOff) {
    create(false);
    const auto anna = Uuid::random();
    publish(ServerEvent::connections({connected("Anna", anna)}));
    publish(ServerEvent::connections({connected("Anna", anna), connected("Ben")}));
    EXPECT_EQ(notifier->connected, (std::vector<std::string>{"Anna", "Ben"})) << "a new session is no newcomer";
    EXPECT_TRUE(overlayModes.empty());
    publish(ServerEvent::connections({}));
    publish(ServerEvent::connections({}));
    EXPECT_EQ(overlayModes, (std::vector<OverlayMode>{OverlayMode::off, OverlayMode::off}));
}

TEST_F(ModelTest, OnlyAChangedRecordReachesTheServerAndTheHotKey) {
    create(false);
    EXPECT_FALSE(model->serverStarted()) << "onboarding is not completed";
    EXPECT_EQ(hotKey->writes, std::vector<bool>{true});
    model->setPreferences(model->preferences());
    auto changed = model->preferences();
    changed.pauseHotKeyEnabled = false;
    changed.scrollMode = ScrollMode::phased;
    model->setPreferences(changed);
    EXPECT_EQ(hotKey->writes, (std::vector<bool>{true, false}));
    settle();
    EXPECT_EQ(preferencesStore->load(), changed);
    EXPECT_FALSE(onServer([](HelperServer& s) { return s.isRunning(); }));

    model->startServer();
    EXPECT_EQ(model->menuStatus().kind, Kind::starting);
    waitForListener();
    EXPECT_TRUE(onServer([](HelperServer& s) { return s.isRunning(); }));
}

// The server stores an "Always Allow" answer and a removal itself; a later settings change must keep both.
TEST_F(ModelTest, ASettingsChangeKeepsWhatTheServerStoredItself) {
    const auto anna = addDevice("Anna");
    const auto ben = addDevice("Ben");
    HelperPreferences stored;
    stored.screenViewingEnabled = true;
    stored.screenViewingDevices = {ben.id};
    preferencesStore->save(stored);
    create(true);
    auto phone = test::TestPhone::connect(phones, waitForListener(), test::sessionKey(anna.id, anna.key));
    phone->authenticate(anna.id, anna.key);
    phone->expect<HelperStatus>();
    ASSERT_TRUE(waitFor([this] { return model->menuStatus().kind == Kind::connected; }));
    EXPECT_EQ(notifier->connected, std::vector<std::string>{"Anna"});
    // With nothing scheduled, cancelling still tells every phone the status.
    model->cancelSleepTimer();
    EXPECT_NO_THROW(phone->expect<HelperStatus>());

    phone->send(ScreenStart{std::nullopt, ScreenSettings{1280, 800, 30, std::nullopt}, {ScreenCodec::h264}});
    ASSERT_TRUE(waitFor([this] { return model->glyphState() == MenuBarGlyphState::viewing; }));
    model->remove(PairedDevice{ben.id, "Ben", "", {}});
    ASSERT_TRUE(waitFor([this] { return model->pairedDevices().size() == 1; }));

    auto changed = model->preferences();
    changed.overlayColor = HelperPreferences::OverlayColor::red;
    model->setPreferences(changed);
    settle();
    EXPECT_EQ(preferencesStore->load().overlayColor, HelperPreferences::OverlayColor::red);
    EXPECT_EQ(preferencesStore->load().screenViewingDevices, std::vector<Uuid>{anna.id});
    EXPECT_EQ(model->screenViewingDeviceNames(), std::vector<std::string>{"Anna"});
}

TEST_F(ModelTest, APairingReplyOlderThanTheLastPairingEventIsDropped) {
    create(true);
    waitForListener();
    model->startPairing();
    model->startPairing();
    model->cancelPairing();
    settle();
    EXPECT_EQ(model->pairing(), std::nullopt);
}

TEST_F(ModelTest, ThePermissionIsAskedForAgainAndTheSelfTestWaitsForIt) {
    granted = false;
    create(false);
    model->runSelfTest();
    EXPECT_EQ(circlesDrawn, 0);
    EXPECT_TRUE(PostEventPermission(defaults).hasRequestedBefore());
    model->requestPermission();
    EXPECT_FALSE(model->canPostEvents());
    granted = true;
    model->requestPermission();
    EXPECT_TRUE(model->canPostEvents());
    model->runSelfTest();
    EXPECT_EQ(circlesDrawn, 1);
}

} // namespace
} // namespace orvik::helper
