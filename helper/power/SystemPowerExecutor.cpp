#include "power/SystemPowerExecutor.hpp"

#include "core/Log.hpp"
#include "platform/BusConnection.hpp"
#include "platform/LogindClient.hpp"
#include "power/DisplaySleep.hpp"
#include "power/SessionManagerCalls.hpp"
#include "power/X11Dpms.hpp"

namespace orvik::helper {
namespace {

constexpr const char* executorLogCategory = "Power";
// How often a lock is looked for while it may still show.
constexpr std::chrono::milliseconds lockPollInterval{50};

} // namespace

SystemPowerExecutor::SystemPowerExecutor(Options options)
    : options_(std::move(options)), displaySleep_(options_.openDpms ? options_.openDpms : openX11Dpms) {
    thread_ = std::thread([this] { work(); });
}

SystemPowerExecutor::~SystemPowerExecutor() {
    std::deque<Job> unanswered;
    {
        std::lock_guard guard(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    unanswered.swap(jobs_);
    for (auto& [action, done] : unanswered) {
        done(CommandOutcome::failure(ErrorCode::internalError, "power backend stopped"));
    }
}

void SystemPowerExecutor::run(PowerAction action, std::function<void(CommandOutcome)> done) {
    {
        std::lock_guard guard(mutex_);
        jobs_.emplace_back(action, std::move(done));
    }
    wake_.notify_one();
}

void SystemPowerExecutor::work() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            auto woken = [&] { return stopping_ || !jobs_.empty(); };
            if (displaySleep_.awaitingWake())
                wake_.wait_for(lock, DisplaySleep::wakePollInterval, woken);
            else
                wake_.wait(lock, woken);
            if (stopping_) break;
            if (jobs_.empty()) {
                lock.unlock();
                displaySleep_.checkWake();
                continue;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job.second(perform(job.first));
    }
    displaySleep_.giveBack();
}

CommandOutcome SystemPowerExecutor::outcome(const std::string& what, const BusReply& reply) const {
    if (reply.ok()) return CommandOutcome::success();
    Log::error(executorLogCategory, what + " failed: " + reply.error);
    if (reply.status == BusReply::Status::denied) return CommandOutcome::failure(ErrorCode::automationDenied);
    if (reply.status == BusReply::Status::timedOut) {
        return CommandOutcome::failure(ErrorCode::internalError, what + " timed out");
    }
    return CommandOutcome::failure(ErrorCode::internalError, what + " failed");
}

CommandOutcome SystemPowerExecutor::perform(PowerAction action) {
    if (action == PowerAction::displaySleep) {
        return displaySleep_.sleepNow();
    }
    if (auto answered = askSessionManager(action)) return *answered;
    auto bus = BusConnection::open(BusConnection::Kind::system, options_.systemBus);
    if (!bus) {
        Log::error(executorLogCategory, "The system bus is not available");
        return CommandOutcome::failure(ErrorCode::internalError, "system bus not available");
    }
    LogindClient logind(*bus, options_.callTimeout);
    switch (action) {
    case PowerAction::lock: return lock(logind);
    case PowerAction::sleep: return outcome("Suspend", logind.callManager("Suspend", {false}));
    case PowerAction::restart: return outcome("Reboot", logind.callManager("Reboot", {false}));
    case PowerAction::shutDown: return outcome("PowerOff", logind.callManager("PowerOff", {false}));
    case PowerAction::logOut: {
        auto session = logind.ownSession();
        if (!session) return CommandOutcome::failure(ErrorCode::internalError, "no session");
        return outcome("TerminateSession", logind.callManager("TerminateSession", {session->id}));
    }
    default: return CommandOutcome::failure(ErrorCode::invalidRequest);
    }
}

// LockSession succeeds even when no screen locker listens for it: the lock counts only once it shows.
CommandOutcome SystemPowerExecutor::lock(LogindClient& logind) {
    auto session = logind.ownSession();
    if (!session) return CommandOutcome::failure(ErrorCode::internalError, "no session");
    auto asked = outcome("LockSession", logind.callManager("LockSession", {session->id}));
    if (!asked.isSuccess()) return asked;
    const auto deadline = std::chrono::steady_clock::now() + options_.lockWait;
    for (;;) {
        auto probe = options_.screenLocked ? options_.screenLocked() : std::nullopt;
        if (logind.lockedHint(*session) == true || probe == true) return CommandOutcome::success();
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(lockPollInterval);
    }
    Log::error(executorLogCategory, "The session did not lock");
    return CommandOutcome::failure(ErrorCode::internalError, "no screen locker");
}

std::optional<CommandOutcome> SystemPowerExecutor::askSessionManager(PowerAction action) {
    auto calls = sessionManagerCalls(action);
    if (calls.empty()) return std::nullopt;
    auto bus = BusConnection::open(BusConnection::Kind::session, options_.sessionBus);
    if (!bus) return std::nullopt;
    for (const auto& [desktop, call] : calls) {
        if (!bus->hasOwner(call.service, options_.callTimeout)) continue;
        auto reply = bus->call(call, options_.callTimeout);
        // A session manager that refuses, or may still be acting, has the last word; one that fails otherwise
        // leaves the action to the next.
        if (reply.status != BusReply::Status::failed) return outcome(desktop + " session manager", reply);
        Log::error(executorLogCategory, desktop + " session manager failed: " + reply.error);
    }
    return std::nullopt;
}

std::unique_ptr<PowerExecuting> makePowerExecutor(std::optional<std::string> systemBus,
                                                  std::optional<std::string> sessionBus) {
    SystemPowerExecutor::Options options;
    options.systemBus = std::move(systemBus);
    options.sessionBus = std::move(sessionBus);
    options.screenLocked = screenSaverOn;
    return std::make_unique<SystemPowerExecutor>(std::move(options));
}

} // namespace orvik::helper
