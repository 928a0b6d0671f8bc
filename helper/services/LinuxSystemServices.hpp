#pragma once

#include "system/SystemController.hpp"

#include <asio/any_io_executor.hpp>

#include <functional>
#include <optional>
#include <string>

namespace orvik::helper {

// Where a service is reached; no address: the session's own (the environment's).
struct ServiceAddress {
    std::optional<std::string> address;
};

// Which of this computer's services the system controller reaches. The application reaches every one at the
// session's own addresses; the test server only those it was given, so a test never touches the machine's sound
// server, logind or session manager by accident.
struct LinuxSystemBackends {
    // Without a sound server the volume reports no output, so media and volume keys are posted as keys.
    std::optional<ServiceAddress> soundServer;
    // Power actions need both buses (logind on the system bus, the session manager on the session bus); without
    // them they answer "no power backend".
    std::optional<ServiceAddress> systemBus;
    std::optional<ServiceAddress> sessionBus;
    // The desktop's applications, the user's commands, links, the clipboard and the frontmost application.
    bool pro = false;
};

// The system controller's services over the Linux backends: volume, power, presentation presets, the sleep timer
// and the battery reader (on `worker`, whose thread must outlive the controller), the pro commands and the
// frontmost application. `statusChanged` (a volume or the frontmost application changed) is called from any
// thread. The caller adds what is its own: the overlay, the sleep warning and the event-posting permission.
SystemController::Services linuxSystemServices(asio::any_io_executor worker, const LinuxSystemBackends& backends,
                                               std::function<void()> statusChanged);

} // namespace orvik::helper
