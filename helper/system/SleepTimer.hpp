#pragma once

#include "orvik/protocol/messages/HelperStatus.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace orvik::helper {

// Holds at most one delayed power action ("shut down in an hour"). A delay above a minute warns a minute before
// the action is due; at the due time the timer clears itself, tells its observer and calls the action's fire
// callable. Waits go through the sleeper, which counts on CLOCK_BOOTTIME in production so that a suspend does
// not stretch the delay; the shown remaining time is measured on the wall clock.
//
// Thread-safe: every operation may be called from any thread. The state is guarded by one mutex held only for
// short copies; warning, fire and the observer are called without it (the observer on the thread that made the
// change, warning and fire on the sleeper's thread). Each schedule and cancel starts a new generation, and a wait
// that ends acts only when its generation is still the current one, checked and cleared in one locked step: an
// action that was replaced or cancelled never warns, fires or touches the state afterwards. A warning is checked
// and given under a lock of its own that schedule and cancel pass through before they return, so once either
// has returned the dropped action's warning has either been given already or never will be.
class SleepTimer : public std::enable_shared_from_this<SleepTimer> {
public:
    struct Scheduled {
        PowerAction action = PowerAction::sleep;
        std::chrono::system_clock::time_point fireDate;

        bool operator==(const Scheduled&) const = default;
    };

    using Clock = std::function<std::chrono::system_clock::time_point()>;
    using Cancel = std::function<void()>;
    // Starts a wait of `delay` and returns what cancels it. `done` is called exactly once, when the delay has
    // passed or the wait was cancelled, from the sleeper's own thread and never from inside this call. Called
    // with the timer's lock held: it only starts the wait.
    using Sleeper = std::function<Cancel(std::chrono::nanoseconds delay, std::function<void()> done)>;
    using Warning = std::function<void(PowerAction)>;
    using Fire = std::function<void(PowerAction)>;
    using Observer = std::function<void(std::optional<Scheduled>)>;

    // How long before the due time the warning comes.
    static constexpr std::chrono::seconds warningLead{60};

    // `now` defaults to the wall clock. Always held by a shared_ptr: waiting tasks hold the timer weakly.
    static std::shared_ptr<SleepTimer> create(Sleeper sleeper, Clock now = {});
    ~SleepTimer();
    SleepTimer(const SleepTimer&) = delete;
    SleepTimer& operator=(const SleepTimer&) = delete;

    // Replaces any pending action with this one, due `seconds` from now.
    void schedule(PowerAction action, double seconds, Warning warning, Fire fire);
    // Drops the pending action, if any, and tells the observer (also when nothing was pending).
    void cancel();
    // The pending action and its remaining whole seconds (never negative); absent when idle.
    std::optional<SleepTimerStatus> status() const;
    std::optional<Scheduled> scheduled() const;
    // Replaces the observer; it is called at the next change, not now.
    void setObserver(Observer observer);

private:
    struct Task;
    using Step = void (SleepTimer::*)(const std::shared_ptr<Task>&);

    SleepTimer(Sleeper sleeper, Clock now);
    // Starts the task's next wait, unless its action was replaced or cancelled meanwhile. Called with the lock
    // held; the sleeper never calls back from inside, so the wait's cancel is recorded before it can end.
    void startWaitLocked(const std::shared_ptr<Task>& task, std::chrono::nanoseconds delay, Step next);
    void afterLead(const std::shared_ptr<Task>& task);
    void afterDelay(const std::shared_ptr<Task>& task);
    void notify();
    void waitForWarning();

    Sleeper sleeper_;
    Clock now_;

    mutable std::mutex mutex_;
    std::optional<Scheduled> scheduled_;
    std::uint64_t generation_ = 0;
    Cancel cancelWait_;
    Observer observer_;

    // Held while a warning is checked and given, by the thread recorded beside it.
    std::mutex warningMutex_;
    std::atomic<std::thread::id> warningThread_;
};

} // namespace orvik::helper
