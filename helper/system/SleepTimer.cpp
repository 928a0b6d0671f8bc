#include "system/SleepTimer.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace orvik::helper {

struct SleepTimer::Task {
    std::uint64_t generation = 0;
    PowerAction action = PowerAction::sleep;
    Warning warning;
    Fire fire;
};

namespace {

std::chrono::nanoseconds toDuration(double seconds) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(std::max(seconds, 0.0)));
}

} // namespace

std::shared_ptr<SleepTimer> SleepTimer::create(Sleeper sleeper, Clock now) {
    return std::shared_ptr<SleepTimer>(new SleepTimer(std::move(sleeper), std::move(now)));
}

SleepTimer::SleepTimer(Sleeper sleeper, Clock now)
    : sleeper_(std::move(sleeper)),
      now_(now ? std::move(now) : Clock([] { return std::chrono::system_clock::now(); })) {}

SleepTimer::~SleepTimer() {
    if (cancelWait_) cancelWait_();
}

void SleepTimer::schedule(PowerAction action, double seconds, Warning warning, Fire fire) {
    const auto fireDate = now_() + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                       std::chrono::duration<double>(seconds));
    auto task = std::make_shared<Task>(Task{0, action, std::move(warning), std::move(fire)});
    Cancel replaced;
    {
        std::lock_guard lock(mutex_);
        // The state is recorded before the task's first wait starts, so even a wait of no time ends idle.
        task->generation = ++generation_;
        replaced = std::exchange(cancelWait_, {});
        scheduled_ = Scheduled{action, fireDate};
        const auto lead = seconds - std::chrono::duration<double>(warningLead).count();
        if (lead > 0)
            startWaitLocked(task, toDuration(lead), &SleepTimer::afterLead);
        else
            startWaitLocked(task, toDuration(seconds), &SleepTimer::afterDelay);
    }
    if (replaced) replaced();
    waitForWarning();
    notify();
}

void SleepTimer::startWaitLocked(const std::shared_ptr<Task>& task, std::chrono::nanoseconds delay, Step next) {
    if (task->generation != generation_) return;
    auto done = [weak = weak_from_this(), task, next] {
        if (auto timer = weak.lock()) ((*timer).*next)(task);
    };
    cancelWait_ = sleeper_(delay, std::move(done));
}

void SleepTimer::afterLead(const std::shared_ptr<Task>& task) {
    {
        // Checked and warned under the warning lock: a cancel either comes first and silences the warning, or
        // waits until the warning has been given.
        std::lock_guard warning(warningMutex_);
        {
            std::lock_guard lock(mutex_);
            if (task->generation != generation_) return;
        }
        warningThread_.store(std::this_thread::get_id());
        if (task->warning) task->warning(task->action);
        warningThread_.store(std::thread::id());
    }
    std::lock_guard lock(mutex_);
    startWaitLocked(task, warningLead, &SleepTimer::afterDelay);
}

void SleepTimer::afterDelay(const std::shared_ptr<Task>& task) {
    {
        // Check and clear in one step: a newer action scheduled meanwhile keeps its state.
        std::lock_guard lock(mutex_);
        if (task->generation != generation_) return;
        scheduled_.reset();
        cancelWait_ = {};
    }
    notify();
    if (task->fire) task->fire(task->action);
}

void SleepTimer::cancel() {
    Cancel pending;
    {
        std::lock_guard lock(mutex_);
        ++generation_;
        scheduled_.reset();
        pending = std::exchange(cancelWait_, {});
    }
    if (pending) pending();
    waitForWarning();
    notify();
}

void SleepTimer::waitForWarning() {
    // A warning of the action just dropped may be under way on the sleeper's thread; none starts after this.
    // The warning callable itself may cancel: its own thread already holds the lock.
    if (warningThread_.load() == std::this_thread::get_id()) return;
    std::lock_guard warning(warningMutex_);
}

std::optional<SleepTimerStatus> SleepTimer::status() const {
    auto pending = scheduled();
    if (!pending) return std::nullopt;
    const std::chrono::duration<double> remaining = pending->fireDate - now_();
    // Halves round away from zero; a wall clock set past the due time shows 0, never less.
    const auto seconds = std::max<std::int64_t>(std::llround(remaining.count()), 0);
    return SleepTimerStatus{pending->action, seconds};
}

std::optional<SleepTimer::Scheduled> SleepTimer::scheduled() const {
    std::lock_guard lock(mutex_);
    return scheduled_;
}

void SleepTimer::setObserver(Observer observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

void SleepTimer::notify() {
    Observer observer;
    std::optional<Scheduled> current;
    {
        std::lock_guard lock(mutex_);
        observer = observer_;
        current = scheduled_;
    }
    if (observer) observer(current);
}

} // namespace orvik::helper
