#include "app/HelperApplication.hpp"

#include "alerts/PairingApproval.hpp"
#include "alerts/ScreenViewingApproval.hpp"
#include "core/Log.hpp"
#include "hotkey/X11GlobalHotKey.hpp"
#include "menubar/TrayPresence.hpp"
#include "notifications/ConnectionNotifier.hpp"
#include "onboarding/FixPermissionWindow.hpp"
#include "onboarding/OnboardingWindow.hpp"
#include "onboarding/PairingWindow.hpp"
#include "settings/HelpWindow.hpp"
#include "settings/SettingsWindow.hpp"
#include "updates/UpdaterFactory.hpp"

#include <QApplication>
#include <QTimer>

namespace orvik::helper {

namespace {

UserInterfaceParts makeUserInterfaceParts(const std::shared_ptr<UserDefaults>& defaults,
                                          std::function<MenuPlace()> menuPlace) {
    UserInterfaceParts ui;
    ui.askPairing = [](PairingApprovalRequest request, std::function<void(bool)> done) {
        PairingApproval::ask(request, std::move(done));
    };
    ui.askScreenViewing = [menuPlace = std::move(menuPlace)](ScreenViewingRequest request,
                                                             std::function<void(ScreenViewingDecision)> done) {
        ScreenViewingApproval::ask(request, menuPlace(), std::move(done));
    };
    ui.notifications = std::make_shared<ConnectionNotifier>();
    ui.updater = UpdaterFactory::make(*defaults);
    ui.hotKey = std::make_shared<X11GlobalHotKey>();
    return ui;
}

} // namespace

HelperApplication::HelperApplication(std::shared_ptr<UserDefaults> defaults)
    : services_(std::make_unique<ApplicationServices>(
          defaults, makeUserInterfaceParts(defaults, [this] { return services_->model()->menuPlace(); }))) {
    registerWindows();
}

HelperApplication::~HelperApplication() {
    if (services_) services_->model()->removeObserver(modelObserver_);
    tray_.reset();
    services_.reset();
}

void HelperApplication::registerWindows() {
    auto model = services_->model();
    windows_.registerWindow(WindowID::onboarding, [this, model] { return new OnboardingWindow(model, windows_); });
    windows_.registerWindow(WindowID::pairing, [this, model] { return new PairingWindow(model, windows_); });
    windows_.registerWindow(WindowID::fixPermission,
                            [this, model] { return new FixPermissionWindow(model, windows_); });
    windows_.registerWindow(WindowID::help, [model] { return new HelpWindow(model->menuPlace()); });
    windows_.registerWindow(WindowRegistry::settingsID, [this, model] { return new SettingsWindow(model, windows_); });
}

void HelperApplication::launch() {
    auto model = services_->model();
    auto& actions = menuActions_;
    actions.startPairing = [this] { startPairingInWindow(); };
    actions.remove = [model](const PairedDevice& device) { model->remove(device); };
    actions.setPaused = [model](bool paused) { model->setPaused(paused); };
    actions.stopScreenViewing = [model] { model->stopScreenViewing(); };
    actions.cancelSleepTimer = [model] { model->cancelSleepTimer(); };
    actions.runSelfTest = [model] { model->runSelfTest(); };
    actions.checkForUpdates = [model] { model->updater().checkForUpdates(); };
    actions.openWindow = [this](std::string_view windowID) { windows_.open(windowID); };
    actions.openSettings = [this] { windows_.openSettings(); };
    actions.quit = [this] { quit(); };
    tray_ = std::make_unique<TrayPresence>();
    QObject::connect(tray_.get(), &TrayPresence::menuPlaceChanged, tray_.get(), [this] { followMenuPlace(); });
    modelObserver_ = model->addObserver([this] { refreshTray(); });
    refreshTray();
    tray_->show();

    if (!model->onboardingCompleted()) {
        windows_.open(WindowID::onboarding);
    } else if (model->permissionWasLost()) {
        windows_.open(WindowID::fixPermission);
    }
}

void HelperApplication::startPairingInWindow() {
    // Through the window the menu opens next, so that an open window shows only phones paired from now on; the
    // session ends with the last window that shows it.
    windows_.open(WindowID::pairing);
    if (auto* window = dynamic_cast<PairingWindow*>(windows_.window(WindowID::pairing))) window->startNewSession();
}

void HelperApplication::followMenuPlace() {
    const MenuPlace place = tray_->menuPlace();
    services_->model()->setMenuPlace(place);
    if (auto* help = dynamic_cast<HelpWindow*>(windows_.window(WindowID::help))) help->showMenuPlace(place);
}

void HelperApplication::refreshTray() {
    if (!tray_) return;
    const auto& model = *services_->model();
    MenuSnapshot snapshot;
    snapshot.menuStatus = model.menuStatus();
    snapshot.addresses = model.addresses();
    snapshot.screenViewers = model.screenViewers();
    snapshot.pairedDevices = model.pairedDevices();
    snapshot.sleepTimer = model.sleepTimer();
    snapshot.isPaused = model.isPaused();
    snapshot.updaterConfigured = model.updater().isConfigured();
    snapshot.now = std::chrono::system_clock::now();
    tray_->update(snapshot, menuActions_, model.glyphState());
}

void HelperApplication::bringForward() {
    if (quitting_) return;
    if (!services_->model()->onboardingCompleted()) {
        windows_.open(WindowID::onboarding);
    } else if (!windows_.raiseOpen() && tray_ && tray_->fallbackWindow().isVisible()) {
        // Without a tray, the window standing in for it is the one open.
        QWidget& window = tray_->fallbackWindow();
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
        window.raise();
        window.activateWindow();
    }
}

void HelperApplication::quit() {
    if (quitting_) return;
    quitting_ = true;
    // Closed as a user would close them: an alert answers, a pairing window ends its session, while the server
    // still runs. The fallback window refuses and stays until the end.
    QApplication::closeAllWindows();
    // exit(), not quit(): Qt's quit offers every window a close first, and one that refuses cancels it.
    QTimer::singleShot(shutDownLimit, qApp, [] {
        Log::error("App", "The server did not stop in time; quitting without it");
        QCoreApplication::exit(0);
    });
    services_->shutDown([] { QCoreApplication::exit(0); });
}

} // namespace orvik::helper
