#pragma once

// Types that the source files of HelperServer share; not in its public interface.

#include "server/HelperServer.hpp"

#include <asio.hpp>

#include <memory>

namespace orvik::helper {

// The maintenance loop's handle: cancelling it ends the loop at its next wake-up (or at once while it sleeps).
struct HelperServer::MaintenanceTask {
    explicit MaintenanceTask(const asio::any_io_executor& executor) : timer(executor) {}

    void cancel() {
        cancelled = true;
        timer.cancel();
    }

    asio::steady_timer timer;
    bool cancelled = false;
};

} // namespace orvik::helper
