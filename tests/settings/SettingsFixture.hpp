#pragma once

#include "VisibleText.hpp"
#include "clipboard/FakePasteboard.hpp"
#include "core/InMemoryUserDefaults.hpp"
#include "core/IoThread.hpp"
#include "hotkey/X11GlobalHotKey.hpp"
#include "injection/RecordingSink.hpp"
#include "model/HelperAppModel.hpp"
#include "model/WindowID.hpp"
#include "pairing/InMemoryDeviceStore.hpp"
#include "server/linux/LinuxSystemInfoSource.hpp"
#include "settings/SettingsWindow.hpp"

#include <QTabWidget>

#include <future>
#include <mutex>

namespace orvik::helper {

// The settings window over a real model and a real (not listening) server with in-memory stores; the fixture
// stands in for the updater, the login item, the window opener, the notifications, the preferences store
// (counting the server's saves: one per update it received) and the system settings links. The model's GUI thread is
// the Qt event loop; settle() lets the server finish what it was asked and applies what it published.
class SettingsFixture : public testing::Test,
                        public UpdaterControlling,
                        public LoginItem,
                        public WindowOpening,
                        public ConnectionNotifying,
                        public PreferencesStore {
protected:
    void create() {
        HelperServer::Configuration configuration;
        configuration.identity = {Uuid::random(), "Test Computer", "Model1,1", "1.0"};
        configuration.store = store;
        configuration.systemInfo = hostSystemInfo();
        const std::shared_ptr<void> none; // the fixture outlives the server and the model
        configuration.preferencesStore = std::shared_ptr<PreferencesStore>(none, this);
        configuration.sink = std::make_shared<RecordingSink>();
        configuration.pasteboard = std::make_shared<FakePasteboard>();
        configuration.listenerOptions = ListenerOptions::loopbackTest();
        server = HelperServer::create(serverThread.executor(), std::move(configuration));
        HelperAppModel::Parts parts;
        parts.mainThread = [](std::function<void()> task) {
            QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
        };
        parts.defaults = std::make_shared<InMemoryUserDefaults>();
        parts.preferencesStore = std::shared_ptr<PreferencesStore>(none, this);
        parts.server = server;
        parts.notifications = std::shared_ptr<ConnectionNotifying>(none, this);
        parts.updater = std::shared_ptr<UpdaterControlling>(none, this);
        parts.loginItem = std::shared_ptr<LoginItem>(none, this);
        parts.hotKey = std::make_shared<X11GlobalHotKey>();
        parts.permission = PostEventPermission(parts.defaults, [this] { return canPost; });
        parts.screenPermission = ScreenRecordingPermission([this] { return canCapture; });
        parts.openURL = [this](const std::string& url) { openedLinks.push_back(url); };
        model = HelperAppModel::create(std::move(parts));
        window = std::make_unique<SettingsWindow>(model, *this, links);
        window->show();
        settle();
    }

    void settle() {
        std::promise<void> done;
        asio::post(serverThread.executor(), [&done] { done.set_value(); });
        done.get_future().wait();
        for (int pass = 0; pass < 3; ++pass) QApplication::processEvents();
    }
    void publish(ServerEvent event) {
        server->events()->publish(std::move(event));
        settle();
    }
    PairedDevice pair(const std::string& name, std::optional<Date> lastSeen = std::nullopt) {
        PairedDevice device{Uuid::random(), name, "Phone15,2", std::chrono::system_clock::now(), lastSeen};
        store->add(device, Bytes(32, 7));
        return device;
    }

    // Makes the tab current and returns its content.
    QWidget* showTab(const QString& title) {
        QTabWidget* tabs = window->tabs();
        for (int i = 0; i < tabs->count(); ++i) {
            if (tabs->tabText(i) == title) tabs->setCurrentIndex(i);
        }
        EXPECT_EQ(tabs->tabText(tabs->currentIndex()), title);
        settle();
        return tabs->currentWidget();
    }
    // The shown widget of the current tab that shows `text`.
    template <class W> W* shown(const QString& text) {
        for (W* widget : window->tabs()->currentWidget()->findChildren<W*>()) {
            if (test::isShown(widget, window.get()) && test::ownText(widget) == text) return widget;
        }
        return nullptr;
    }

    bool isConfigured() const override { return updaterConfigured; }
    bool automaticallyChecksForUpdates() const override { return automaticChecks; }
    void setAutomaticallyChecksForUpdates(bool enabled) override { automaticChecks = enabled; }
    void checkForUpdates() override { ++updateChecks; }
    void checkForUpdatesInBackground() override {}
    bool isEnabled() const override { return launchesAtLogin; }
    std::optional<std::string> setEnabled(bool on) override { return launchAtLoginWrites.push_back(on), std::nullopt; }
    void open(std::string_view windowID) override { opened.emplace_back(windowID); }
    void close(std::string_view) override {}
    void openSettings() override {}
    void notifyConnected(const std::string&, MenuPlace) override {}
    void notifySleepTimer(const std::string&) override {}
    HelperPreferences load() const override { return std::lock_guard(mutex), stored; }
    void save(const HelperPreferences& preferences) override {
        const std::lock_guard lock(mutex);
        stored = preferences;
        ++saves;
    }

    bool updaterConfigured = true, automaticChecks = false, launchesAtLogin = false, canPost = true, canCapture = false;
    int updateChecks = 0;
    mutable std::mutex mutex; // the server saves on its own thread
    HelperPreferences stored;
    int saves = 0;
    std::vector<bool> launchAtLoginWrites;
    std::vector<std::string> opened;
    SettingsLinks links; // the system's: all absent on Linux
    std::vector<std::string> openedLinks;
    // Destroyed in reverse: the window, the model and the server before the server's thread.
    IoThread serverThread{"settings-test"};
    std::shared_ptr<InMemoryDeviceStore> store = std::make_shared<InMemoryDeviceStore>();
    std::shared_ptr<HelperServer> server;
    std::shared_ptr<HelperAppModel> model;
    std::unique_ptr<SettingsWindow> window;
};

} // namespace orvik::helper
