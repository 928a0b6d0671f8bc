#pragma once

#include "VisibleText.hpp"
#include "WaitUntil.hpp"
#include "clipboard/FakePasteboard.hpp"
#include "core/InMemoryUserDefaults.hpp"
#include "core/IoThread.hpp"
#include "injection/RecordingSink.hpp"
#include "model/HelperAppModel.hpp"
#include "model/WindowID.hpp"
#include "pairing/InMemoryDeviceStore.hpp"
#include "settings/SettingsWindow.hpp"

#include <QApplication>
#include <QTabWidget>
#include <gtest/gtest.h>

#include <future>
#include <mutex>

namespace orvik::helper {

// Counts what the server stores: one save per preferences update the server received.
class CountingPreferencesStore final : public PreferencesStore {
public:
    HelperPreferences load() const override {
        std::lock_guard lock(mutex_);
        return stored_;
    }
    void save(const HelperPreferences& preferences) override {
        std::lock_guard lock(mutex_);
        stored_ = preferences;
        ++saves_;
    }
    int saves() const {
        std::lock_guard lock(mutex_);
        return saves_;
    }

private:
    mutable std::mutex mutex_;
    HelperPreferences stored_;
    int saves_ = 0;
};

struct RecordingUpdater final : UpdaterControlling {
    bool isConfigured() const override { return configured; }
    bool automaticallyChecksForUpdates() const override { return automatic; }
    void setAutomaticallyChecksForUpdates(bool enabled) override { automatic = enabled, ++automaticWrites; }
    void checkForUpdates() override { ++checks; }
    void checkForUpdatesInBackground() override {}
    bool configured = true;
    bool automatic = false;
    int automaticWrites = 0;
    int checks = 0;
};

struct RecordingLoginItem final : LoginItem {
    bool isEnabled() const override { return enabled; }
    std::optional<std::string> setEnabled(bool on) override {
        writes.push_back(on);
        return std::nullopt;
    }
    bool enabled = false;
    std::vector<bool> writes;
};

struct RecordingWindows final : WindowOpening {
    void open(std::string_view windowID) override { opened.emplace_back(windowID); }
    void close(std::string_view) override {}
    void openSettings() override {}
    std::vector<std::string> opened;
};

struct QuietHotKey final : GlobalHotKeying {
    void setOnPress(std::function<void()>) override {}
    void setEnabled(bool on) override { enabled = on; }
    bool isEnabled() const override { return enabled; }
    bool enabled = false;
};

struct QuietNotifier final : ConnectionNotifying {
    void notifyConnected(const std::string&) override {}
    void notifySleepTimer(const std::string&) override {}
};

// The settings window over a real model and a real (not listening) server with in-memory stores. The model's GUI
// thread is the Qt event loop; settle() lets the server finish what it was asked and applies what it published.
class SettingsFixture : public testing::Test {
protected:
    ~SettingsFixture() override {
        window.reset();
        model.reset();
        server.reset();
    }

    void create() {
        HelperServer::Configuration configuration;
        configuration.identity = {Uuid::random(), "Test Computer", "Model1,1", "1.0"};
        configuration.store = store;
        configuration.preferencesStore = preferencesStore;
        configuration.sink = std::make_shared<RecordingSink>();
        configuration.pasteboard = std::make_shared<FakePasteboard>();
        configuration.listenerOptions = ListenerOptions::loopbackTest();
        server = HelperServer::create(serverThread.executor(), std::move(configuration));
        HelperAppModel::Parts parts;
        parts.mainThread = [](std::function<void()> task) {
            QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
        };
        parts.defaults = defaults;
        parts.preferencesStore = preferencesStore;
        parts.server = server;
        parts.notifications = std::make_shared<QuietNotifier>();
        parts.updater = updater;
        parts.hotKey = std::make_shared<QuietHotKey>();
        parts.loginItem = loginItem;
        parts.permission = PostEventPermission(defaults, [this] { return canPost; });
        parts.screenPermission = ScreenRecordingPermission([this] { return canCapture; });
        model = HelperAppModel::create(std::move(parts));
        window = std::make_unique<SettingsWindow>(model, windows);
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
    template <class W> W* shown(const QString& text) {
        for (W* widget : window->tabs()->currentWidget()->findChildren<W*>()) {
            if (test::isShown(widget, window.get()) && test::ownText(widget) == text) return widget;
        }
        return nullptr;
    }

    IoThread serverThread{"settings-test"};
    std::shared_ptr<InMemoryUserDefaults> defaults = std::make_shared<InMemoryUserDefaults>();
    std::shared_ptr<CountingPreferencesStore> preferencesStore = std::make_shared<CountingPreferencesStore>();
    std::shared_ptr<InMemoryDeviceStore> store = std::make_shared<InMemoryDeviceStore>();
    std::shared_ptr<RecordingUpdater> updater = std::make_shared<RecordingUpdater>();
    std::shared_ptr<RecordingLoginItem> loginItem = std::make_shared<RecordingLoginItem>();
    RecordingWindows windows;
    bool canPost = true;
    bool canCapture = false;
    std::shared_ptr<HelperServer> server;
    std::shared_ptr<HelperAppModel> model;
    std::unique_ptr<SettingsWindow> window;
};

} // namespace orvik::helper
