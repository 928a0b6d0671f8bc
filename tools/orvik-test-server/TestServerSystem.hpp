#pragma once

#include "server/HelperServices.hpp"
#include "system/SystemController.hpp"

#include <asio.hpp>

#include <memory>
#include <optional>
#include <string>

namespace orvik::testserver {

// Which real services the test server may reach. Each is used only when its address is given, so a test never
// touches the machine's sound server, logind or session manager by accident.
struct SystemBackends {
    std::optional<std::string> pulseServer;
    // Power actions need both buses: logind on the system bus, the session manager on the session bus.
    std::optional<std::string> systemBus;
    std::optional<std::string> sessionBus;
    // The desktop's applications, the user's commands, links and the frontmost application.
    bool pro = false;
};

// The test server's system controller. Without a sound server its volume reports no output, so media and volume
// keys are posted as keys; without both buses power actions answer "no power backend". There is no overlay (no
// GUI loop); the pro commands only when asked for. Sleep warnings are logged. The sleep timer and the battery
// reader work on `worker`, whose thread must outlive the controller; `statusChanged` (a volume or the frontmost
// application changed) is called from any thread.
struct TestServerSystem {
    static std::shared_ptr<helper::SystemController> build(asio::any_io_executor worker,
                                                           helper::HelperServices::CanPostEvents canPostEvents,
                                                           const SystemBackends& backends,
                                                           std::function<void()> statusChanged);
};

} // namespace orvik::testserver
