#pragma once

#include "power/DisplaySleep.hpp"
#include "system/PowerExecuting.hpp"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

namespace orvik::helper {

class BusConnection;
class LogindClient;
struct BusReply;

// Carries out power actions over D-Bus, never through a shell: lock through logind's LockSession of our session
// (answered as done only once the session is seen locked); restart, shut down and log out through the desktop's
// session manager first, so applications can save their work, then through logind; sleep through logind; display
// sleep through DPMS. A refusal (AccessDenied, polkit) answers automationDenied; other failures internalError
// with a short detail.
//
// Threading: actions run one after another on the executor's own thread, which opens its bus connections anew
// for each action; `run` only queues. Every call waits at most `callTimeout`. While display sleep holds the
// user's DPMS setting, the thread also looks for the displays' wake. Destroying the executor waits for the action
// in progress, gives the DPMS setting back and answers the queued actions with a failure.
class SystemPowerExecutor final : public PowerExecuting {
public:
    struct Options {
        // Absent: the machine's system bus (logind) and the user's session bus (session managers). Given, only
        // that bus is used.
        std::optional<std::string> systemBus;
        std::optional<std::string> sessionBus;
        std::chrono::milliseconds callTimeout{5000};
        // How long a lock may take to show.
        std::chrono::milliseconds lockWait{2000};
        // Whether a screen locker shows besides logind's LockedHint (the X screen saver by default).
        std::function<std::optional<bool>()> screenLocked;
        // Empty: DPMS on the X server of $DISPLAY.
        DisplaySleep::Open openDpms;
    };

    explicit SystemPowerExecutor(Options options);
    ~SystemPowerExecutor() override;
    SystemPowerExecutor(const SystemPowerExecutor&) = delete;
    SystemPowerExecutor& operator=(const SystemPowerExecutor&) = delete;

    void run(PowerAction action, std::function<void(CommandOutcome)> done) override;

private:
    using Job = std::pair<PowerAction, std::function<void(CommandOutcome)>>;

    void work();
    CommandOutcome perform(PowerAction action);
    CommandOutcome lock(LogindClient& logind);
    // The session manager's answer, or absent when none runs or none could do it.
    std::optional<CommandOutcome> askSessionManager(PowerAction action);
    CommandOutcome outcome(const std::string& what, const BusReply& reply) const;

    const Options options_;
    // The executor's thread only.
    DisplaySleep displaySleep_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};

// The production executor; absent addresses mean the user's own buses.
std::unique_ptr<PowerExecuting> makePowerExecutor(std::optional<std::string> systemBus,
                                                  std::optional<std::string> sessionBus);

} // namespace orvik::helper
