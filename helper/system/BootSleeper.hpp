#pragma once

#include "system/SleepTimer.hpp"

#include <asio.hpp>

namespace orvik::helper {

// The sleep timer's production sleeper: waits on CLOCK_BOOTTIME (BootTimer) on one executor, whose thread then
// runs the timer's warning and fire callables. The executor's thread must outlive the timers that use it.
class BootSleeper {
public:
    static SleepTimer::Sleeper make(asio::any_io_executor executor);
};

} // namespace orvik::helper
