#pragma once

#include "core/ExecutorGate.hpp"
#include "core/IoThread.hpp"
#include "core/UserDefaults.hpp"
#include "model/HelperAppModel.hpp"
#include "overlay/OverlayController.hpp"
#include "preferences/PreferencesStore.hpp"
#include "screen/ScreenServices.hpp"
#include "server/HelperServer.hpp"
#include "system/SystemController.hpp"

#include <memory>

namespace orvik::helper {

// What the user interface lends the services: the questions to the local user, the notifier, the updater and the
// hot key. The two questions are asked on the GUI thread; the services call them from their own threads.
struct UserInterfaceParts {
    HelperServices::ApprovePairing askPairing;
    ScreenServices::Approve askScreenViewing;
    std::shared_ptr<ConnectionNotifying> notifications;
    std::shared_ptr<UpdaterControlling> updater;
    std::shared_ptr<GlobalHotKeying> hotKey;
};

// The composition root: builds every service of the running helper, the server and the one model, in the order
// each needs the others, on the GUI thread. Owns the threads the services run on.
class ApplicationServices {
public:
    ApplicationServices(std::shared_ptr<UserDefaults> defaults, UserInterfaceParts ui);
    ~ApplicationServices();

    ApplicationServices(const ApplicationServices&) = delete;
    ApplicationServices& operator=(const ApplicationServices&) = delete;

    const std::shared_ptr<HelperAppModel>& model() const { return model_; }

    // Stops the server; `done` runs on the GUI thread afterwards.
    void shutDown(std::function<void()> done);

    // Runs a callable on the GUI thread, later.
    static void onGuiThread(std::function<void()> work);

private:
    // Read and written on the server's thread only: the status-push callbacks exist before the server does.
    struct ServerSlot {
        std::weak_ptr<HelperServer> server;
    };

    std::shared_ptr<SystemController> makeSystem(const UserInterfaceParts& ui);
    HelperServices makeServerServices(const UserInterfaceParts& ui);
    std::function<void()> statusPush();

    std::shared_ptr<UserDefaults> defaults_;
    std::shared_ptr<PreferencesStore> preferencesStore_;
    // The system services' timers and battery reads; outlives the server and so the controller.
    IoThread systemThread_{"System"};
    IoThread serverThread_{HelperServer::threadName};
    std::shared_ptr<ServerSlot> serverSlot_ = std::make_shared<ServerSlot>();
    // Status reports come from the volume's and the frontmost-app tracker's own threads, which may outlive the
    // server's thread at exit.
    std::shared_ptr<ExecutorGate> statusGate_ = std::make_shared<ExecutorGate>(serverThread_.executor());
    std::unique_ptr<OverlayController> overlay_;
    std::shared_ptr<SystemController> system_;
    std::shared_ptr<HelperServer> server_;
    std::shared_ptr<HelperAppModel> model_;
};

} // namespace orvik::helper
