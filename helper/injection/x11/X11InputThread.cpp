#include "injection/x11/X11InputThread.hpp"

#include "core/Log.hpp"
#include "injection/x11/X11InputConnection.hpp"
#include "injection/x11/X11Keyboard.hpp"
#include "injection/x11/X11Pointer.hpp"
#include "injection/x11/X11SpareKeycodes.hpp"

#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace orvik::helper {
namespace {

using Milliseconds = std::chrono::milliseconds;

// Where a move lands: the nearest pixel, which the server keeps on its screen.
DisplayPoint onScreen(DisplayPoint point, const PixelRect& screen) {
    if (!std::isfinite(point.x) || !std::isfinite(point.y) || screen.width < 1 || screen.height < 1) return point;
    return {std::clamp(std::round(point.x), 0.0, static_cast<double>(screen.width - 1)),
            std::clamp(std::round(point.y), 0.0, static_cast<double>(screen.height - 1))};
}

} // namespace

std::shared_ptr<X11InputThread> X11InputThread::start(std::string displayName, ServerClock now) {
    auto thread = std::shared_ptr<X11InputThread>(new X11InputThread(std::move(displayName), std::move(now)));
    thread->thread_ = std::thread([thread] { thread->run(); });
    std::unique_lock lock(thread->mutex_);
    thread->changed_.wait_for(lock, firstConnectionLimit, [&thread] { return thread->attempted_; });
    return thread;
}

X11InputThread::X11InputThread(std::string displayName, ServerClock now)
    : displayName_(std::move(displayName)), now_(std::move(now)), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      waitFd_(epoll_create1(EPOLL_CLOEXEC)) {
    // Edge-triggered: every write wakes the thread, and the counter never needs reading back.
    epoll_event wakeUp{};
    wakeUp.events = EPOLLIN | EPOLLET;
    wakeUp.data.fd = wakeFd_;
    epoll_ctl(waitFd_, EPOLL_CTL_ADD, wakeFd_, &wakeUp);
}

X11InputThread::~X11InputThread() {
    if (thread_.joinable()) thread_.detach(); // only when the thread itself drops the last reference
    ::close(waitFd_);
    ::close(wakeFd_);
}

void X11InputThread::wake() {
    std::uint64_t one = 1;
    if (::write(wakeFd_, &one, sizeof one) < 0) {
        // The counter is full (after 2^64 wake-ups): the thread is awake anyway.
    }
}

void X11InputThread::post(Operation operation, std::optional<DisplayPoint> motion) {
    {
        std::lock_guard lock(mutex_);
        auto sequence = ++posted_;
        if (motion && shared_.connected) {
            // Placed from an answer still out, a move lands where its replay takes it (settleAnchor).
            const bool placedFromAnswer = shared_.anchor && !shared_.anchor->lastReplayed;
            shared_.cursor = placedFromAnswer ? *motion : onScreen(*motion, shared_.screen);
            lastMotion_ = sequence;
        }
        inbox_.push_back({std::move(operation), sequence, Clock::now(), false});
        wantDesktopIfOlderThan(desktopMaxAgeForInput);
    }
    wake();
}

bool X11InputThread::isConnected() {
    std::lock_guard lock(mutex_);
    return shared_.connected;
}

CursorReading X11InputThread::cursor() {
    std::lock_guard lock(mutex_);
    if (!shared_.connected) {
        connectionWanted_ = true;
        wake();
        return {shared_.cursor, true};
    }
    auto& anchor = shared_.anchor;
    // Still out, or its input still replayed: the caller goes on from its own place, as the replay does.
    if (anchor && !anchor->lastReplayed && !settleAnchor()) return {shared_.cursor, false};
    // Input placed from the last answer has not all run yet: asking now would tell nothing newer.
    if (anchor && *anchor->lastReplayed > lastRun_) return {shared_.cursor, true};
    const auto question = ++posted_;
    inbox_.push_back({{}, question, Clock::now(), true});
    anchor = Anchor{question, shared_.cursor, false, std::nullopt, std::nullopt};
    wake();
    return {shared_.cursor, false};
}

std::optional<DisplayPoint> X11InputThread::settledCursor() {
    std::lock_guard lock(mutex_);
    const auto& anchor = shared_.anchor;
    if (!shared_.connected || !anchor || anchor->lastReplayed || !settleAnchor()) return std::nullopt;
    return shared_.cursor;
}

void X11InputThread::forgetCursor() {
    std::lock_guard lock(mutex_);
    auto& anchor = shared_.anchor;
    if (anchor && !anchor->lastReplayed) anchor->lastReplayed = posted_;
}

bool X11InputThread::settleAnchor() {
    auto& anchor = *shared_.anchor;
    if (!anchor.answered || lastMotion_ > lastRun_) return false;
    if (anchor.replay) shared_.cursor = onScreen(anchor.replay->real, shared_.screen);
    anchor.lastReplayed = posted_;
    return true;
}

DisplayRect X11InputThread::rectOf(const DisplayInfo& display) {
    return {static_cast<double>(display.bounds.x), static_cast<double>(display.bounds.y),
            static_cast<double>(display.bounds.width), static_cast<double>(display.bounds.height)};
}

bool X11InputThread::wantDesktopIfOlderThan(Clock::duration maxAge) {
    if (!shared_.connected) {
        desktopWanted_ = true;
        connectionWanted_ = true;
        return true;
    }
    // Asked already: the status reads both the monitors and the screen saver, which is one reading.
    if (desktopWanted_ || Clock::now() - shared_.desktopReadAt < maxAge) return false;
    desktopWanted_ = true;
    return true;
}

std::vector<DisplayInfo> X11InputThread::monitors() {
    std::lock_guard lock(mutex_);
    if (wantDesktopIfOlderThan(desktopMaxAge)) wake();
    return shared_.monitors;
}

bool X11InputThread::screenSaverOn() {
    std::lock_guard lock(mutex_);
    if (wantDesktopIfOlderThan(desktopMaxAge)) wake();
    return shared_.screenSaverOn;
}

bool X11InputThread::settle(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    auto goal = ++settleRequested_;
    wake();
    return changed_.wait_for(lock, limit, [this, goal] { return settled_ >= goal || finished_; });
}

bool X11InputThread::stop(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    stopping_ = true;
    wake();
    if (!changed_.wait_for(lock, limit, [this] { return finished_; })) {
        Log::error("Input", "The X server did not answer; its input thread was left behind");
        return false;
    }
    lock.unlock();
    thread_.join();
    return true;
}

void X11InputThread::run() {
    pthread_setname_np(pthread_self(), threadName);
    connect();
    {
        std::lock_guard lock(mutex_);
        attempted_ = true;
    }
    changed_.notify_all();
    for (;;) {
        std::optional<std::uint64_t> settleGoal;
        bool desktopWanted = false;
        bool connectionWanted = false;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
            std::move(inbox_.begin(), inbox_.end(), std::back_inserter(queue_));
            inbox_.clear();
            if (settleRequested_ > settled_) settleGoal = settleRequested_;
            desktopWanted = desktopWanted_;
            connectionWanted = std::exchange(connectionWanted_, false);
        }
        double now = now_();
        if (!connection_) {
            dropExpired();
            bool due = !lastAttempt_ || Clock::now() - *lastAttempt_ >= reconnectInterval;
            if (due && (connectionWanted || !queue_.empty())) connect();
        }
        if (connection_) work(now, desktopWanted);
        if (connection_ && settleGoal) connection_->sync();
        if (connection_ && connection_->isBroken()) disconnect();
        if (settleGoal) {
            {
                std::lock_guard lock(mutex_);
                settled_ = *settleGoal;
            }
            changed_.notify_all();
        }
        waitForWork(now);
    }
    shutDown();
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
}

void X11InputThread::connect() {
    lastAttempt_ = Clock::now();
    connection_ = X11InputConnection::open(displayName_);
    if (!connection_) return;
    epoll_event fromServer{};
    fromServer.events = EPOLLIN;
    fromServer.data.fd = connection_->fileDescriptor();
    epoll_ctl(waitFd_, EPOLL_CTL_ADD, fromServer.data.fd, &fromServer);
    dropExpired();
    readDesktop();
    readPointer();
    std::lock_guard lock(mutex_);
    shared_.connected = true;
    shared_.screen = connection_->screen();
}

// What was meant for a lost connection goes with it.
void X11InputThread::disconnect() {
    queue_.clear();
    dropConnection();
    std::lock_guard lock(mutex_);
    inbox_.clear();
    shared_ = Shared{};
}

// Input posted while no server was there waits only so long for one.
void X11InputThread::dropExpired() {
    auto oldest = Clock::now() - reconnectWait;
    std::erase_if(queue_, [oldest](const Pending& pending) { return pending.postedAt < oldest; });
}

void X11InputThread::work(double now, bool desktopWanted) {
    // Events are read only when there are some: most wake-ups bring input to post and nothing to read.
    bool desktopChanged = false;
    if (std::exchange(serverReadable_, false) || connection_->hasQueuedEvents()) {
        desktopChanged = connection_->drainEvents();
    }
    runOperations(now);
    if (desktopChanged || desktopWanted) readDesktop();
    connection_->keyboard().giveBackIdle(now);
    connection_->flush();
}

void X11InputThread::runOperations(double now) {
    std::uint64_t lastRun = 0;
    while (!queue_.empty() && !connection_->isBroken()) {
        auto& next = queue_.front();
        if (next.asksPointer) {
            answerPointer(next.sequence);
        } else if (!runOperation(next, now)) {
            break;
        }
        lastRun = next.sequence;
        queue_.pop_front();
    }
    if (lastRun == 0) return;
    std::lock_guard lock(mutex_);
    lastRun_ = lastRun;
}

void X11InputThread::readDesktop() {
    auto monitors = connection_->monitors();
    std::vector<DisplayRect> displays;
    displays.reserve(monitors.size());
    for (const auto& monitor : monitors) displays.push_back(rectOf(monitor));
    connection_->pointer().setDisplays(std::move(displays));
    bool screenSaverOn = connection_->screenSaverOn();
    std::lock_guard lock(mutex_);
    shared_.monitors = std::move(monitors);
    shared_.screenSaverOn = screenSaverOn;
    shared_.screen = connection_->screen();
    shared_.desktopReadAt = Clock::now();
    desktopWanted_ = false;
}

// The answer reflects every event sent before it; it is kept unless a move posted since then is still on its way.
void X11InputThread::readPointer() {
    auto location = connection_->pointerLocation();
    std::lock_guard lock(mutex_);
    if (location && lastMotion_ <= lastRun_) shared_.cursor = *location;
}

// The server has had every event posted before the question: it answers where they left the pointer.
void X11InputThread::answerPointer(std::uint64_t question) {
    auto location = connection_->pointerLocation();
    std::lock_guard lock(mutex_);
    auto& anchor = shared_.anchor;
    if (!anchor || anchor->question != question) return;
    anchor->answered = true;
    if (location) anchor->replay = X11Pointer::Replay{anchor->toldCaller, *location};
}

bool X11InputThread::runOperation(Pending& pending, double now) {
    auto& pointer = connection_->pointer();
    const auto replay = replayFor(pending.sequence);
    pointer.replay(replay);
    if (!pending.operation(connection_->keyboard(), pointer, now)) return false;
    if (!replay) return true;
    std::lock_guard lock(mutex_);
    // A question asked since (the caller took the real place meanwhile) is not about this input.
    auto& anchor = shared_.anchor;
    if (anchor && anchor->question < pending.sequence) anchor->replay = pointer.replayed();
    return true;
}

std::optional<X11Pointer::Replay> X11InputThread::replayFor(std::uint64_t sequence) {
    std::lock_guard lock(mutex_);
    const auto& anchor = shared_.anchor;
    if (!anchor || !anchor->replay || sequence <= anchor->question) return std::nullopt;
    if (anchor->lastReplayed && sequence > *anchor->lastReplayed) return std::nullopt;
    return anchor->replay;
}

void X11InputThread::waitForWork(double now) {
    std::optional<double> wait; // seconds
    if (connection_) {
        if (auto due = connection_->keyboard().nextDeadline()) wait = std::max(0.0, *due - now);
        if (connection_->hasQueuedEvents()) wait = 0.0;
    } else if (!queue_.empty()) {
        wait = std::chrono::duration<double>(reconnectInterval).count();
    }
    int timeout = wait ? static_cast<int>(std::ceil(std::min(*wait, 60.0) * 1000)) : -1;
    epoll_event events[2] = {};
    int count = epoll_wait(waitFd_, events, 2, timeout);
    serverReadable_ = std::any_of(events, events + std::max(count, 0),
                                  [this](const epoll_event& event) { return event.data.fd != wakeFd_; });
}

void X11InputThread::shutDown() {
    if (connection_ && !connection_->isBroken()) {
        if (!queue_.empty()) Log::error("Input", "Input still waiting for a keycode was dropped");
        queue_.clear();
        // The last borrowed keycodes keep their keysyms long enough for applications to read them.
        if (auto latest = connection_->keyboard().latestSpareUse()) {
            double wait =
                std::clamp(*latest + X11SpareKeycodes::reuseDelay - now_(), 0.0, X11SpareKeycodes::reuseDelay);
            std::this_thread::sleep_for(std::chrono::duration<double>(wait));
        }
        connection_->pointer().releaseEverything();
        connection_->keyboard().releaseEverything();
        connection_->sync();
    }
    dropConnection();
}

void X11InputThread::dropConnection() {
    if (!connection_) return;
    epoll_ctl(waitFd_, EPOLL_CTL_DEL, connection_->fileDescriptor(), nullptr);
    connection_.reset();
}

} // namespace orvik::helper
