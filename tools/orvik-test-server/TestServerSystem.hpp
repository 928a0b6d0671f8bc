#pragma once

#include "server/HelperServices.hpp"
#include "system/SystemController.hpp"

#include <asio.hpp>

#include <memory>

namespace orvik::testserver {

// The test server's system controller. Its volume reports no output, so media and volume keys are posted as
// keys; power actions answer "no power backend" until real backends are given; there is no overlay (no GUI
// loop) and no pro handler. Sleep warnings are logged. The sleep timer and the battery reader work on `worker`,
// whose thread must outlive the controller.
struct TestServerSystem {
    static std::shared_ptr<helper::SystemController> build(asio::any_io_executor worker,
                                                           helper::HelperServices::CanPostEvents canPostEvents);
};

} // namespace orvik::testserver
