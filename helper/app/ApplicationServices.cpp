#include "app/ApplicationServices.hpp"

#include "clipboard/x11/SystemPasteboard.hpp"
#include "core/AppInfo.hpp"
#include "injection/SelfTest.hpp"
#include "injection/x11/CGEventSink.hpp"
#include "listener/avahi/AvahiAdvertiser.hpp"
#include "model/XdgLoginItem.hpp"
#include "pairing/secretservice/StandardDeviceStore.hpp"
#include "permissions/x11/SessionPermissions.hpp"
#include "screen/ffmpeg/ProductionScreenServices.hpp"
#include "screen/x11/X11CaptureSource.hpp"
#include "server/linux/LinuxSystemInfoSource.hpp"
#include "services/LinuxSystemServices.hpp"

#include <QCoreApplication>
#include <QMetaObject>

#include <thread>

namespace orvik::helper {

void ApplicationServices::onGuiThread(std::function<void()> work) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

ApplicationServices::ApplicationServices(std::shared_ptr<UserDefaults> defaults, UserInterfaceParts ui)
    : defaults_(std::move(defaults)), preferencesStore_(std::make_shared<UserDefaultsPreferencesStore>(defaults_)) {
    auto identity = HelperIdentity::current(*defaults_, *hostSystemInfo(), AppInfo::shortVersion());
    system_ = makeSystem(ui);

    HelperServer::Configuration configuration;
    configuration.identity = identity;
    configuration.store = standardDeviceStore(defaults_);
    configuration.systemInfo = hostSystemInfo();
    configuration.preferencesStore = preferencesStore_;
    configuration.services = makeServerServices(ui);
    configuration.sink = std::make_shared<CGEventSink>(CGEventSink::systemDoubleClickInterval());
    auto clipboard = std::make_shared<SystemPasteboard>();
    configuration.primarySelection = clipboard->primarySelection();
    configuration.pasteboard = std::move(clipboard);
    configuration.defaults = defaults_;
    configuration.makeAdvertiser = AvahiAdvertiser::factory();
    server_ = HelperServer::create(serverThread_.executor(), std::move(configuration));
    asio::post(serverThread_.executor(),
               [slot = serverSlot_, weakServer = std::weak_ptr(server_)] { slot->server = weakServer; });

    HelperAppModel::Parts parts;
    parts.mainThread = onGuiThread;
    parts.defaults = defaults_;
    parts.preferencesStore = preferencesStore_;
    parts.identity = identity;
    parts.server = server_;
    parts.sleepTimer = system_->sleepTimer();
    parts.overlay = [overlay = overlay_.get()](OverlayMode mode) { overlay->setMode(mode); };
    parts.notifications = ui.notifications;
    parts.updater = ui.updater;
    parts.hotKey = ui.hotKey;
    parts.loginItem = std::make_shared<XdgLoginItem>();
    parts.systemInfo = hostSystemInfo();
    parts.permission = sessionPostEventPermission(defaults_);
    parts.screenPermission = sessionScreenRecordingPermission();
    parts.drawSelfTestCircle = [] {
        // Its own sink, so the server's held keys and buttons are never touched.
        std::thread([] {
            CGEventSink sink(CGEventSink::systemDoubleClickInterval());
            SelfTest::drawCircle(sink);
        }).detach();
    };
    model_ = HelperAppModel::create(std::move(parts));
}

ApplicationServices::~ApplicationServices() {
    statusGate_->close();
    model_.reset();
    server_.reset();
}

std::function<void()> ApplicationServices::statusPush() {
    return [gate = statusGate_, slot = serverSlot_] {
        gate->post([slot] {
            if (auto server = slot->server.lock()) server->pushStatusIfChanged(false);
        });
    };
}

std::shared_ptr<SystemController> ApplicationServices::makeSystem(const UserInterfaceParts& ui) {
    overlay_ = std::make_unique<OverlayController>([store = preferencesStore_] { return store->load(); });
    const LinuxSystemBackends everything{
        .soundServer = ServiceAddress{}, .systemBus = ServiceAddress{}, .sessionBus = ServiceAddress{}, .pro = true};
    auto services = linuxSystemServices(systemThread_.executor(), everything, statusPush());
    services.overlay = [overlay = overlay_.get()](OverlayMode mode) {
        onGuiThread([overlay, mode] { overlay->setMode(mode); });
    };
    services.sleepWarning = [notifications = ui.notifications,
                             timer = std::weak_ptr(services.sleepTimer)](PowerAction action) {
        onGuiThread([notifications, action, timer] {
            // A cancel from the menu may have come in between: only a pending action is announced.
            auto owner = timer.lock();
            auto pending = owner ? owner->scheduled() : std::nullopt;
            if (pending && pending->action == action)
                notifications->notifySleepTimer(HelperAppModel::localizedName(action));
        });
    };
    auto permission = std::make_shared<PostEventPermission>(sessionPostEventPermission(defaults_));
    services.canPostEvents = [permission] { return permission->isGranted(); };
    return SystemController::create(std::move(services));
}

HelperServices ApplicationServices::makeServerServices(const UserInterfaceParts& ui) {
    HelperServices services;
    // A permission of its own: the server asks from its thread for every input message.
    auto permission = std::make_shared<PostEventPermission>(sessionPostEventPermission(defaults_));
    services.canPostEvents = [permission] { return permission->isGranted(); };
    services.requestUpdateCheck = [updater = ui.updater](std::function<void()> done) {
        onGuiThread([updater, done = std::move(done)] {
            updater->checkForUpdatesInBackground();
            done();
        });
    };
    services.approvePairing = [ask = ui.askPairing](PairingApprovalRequest request, std::function<void(bool)> done) {
        onGuiThread([ask, request = std::move(request), done = std::move(done)] { ask(request, done); });
    };
    services.system = system_;

    ScreenServicesParts screen;
    screen.canCapture = x11CaptureAvailable;
    screen.makeSource = makeX11CaptureSource;
    screen.approve = [ask = ui.askScreenViewing](ScreenViewingRequest request,
                                                 std::function<void(ScreenViewingDecision)> done) {
        onGuiThread([ask, request = std::move(request), done = std::move(done)] { ask(request, done); });
    };
    services.screen = makeScreenServices(std::move(screen));
    return services;
}

void ApplicationServices::shutDown(std::function<void()> done) {
    model_->shutDown(std::move(done));
}

} // namespace orvik::helper
