#include "screen/x11/X11CaptureSession.hpp"

#include "core/Log.hpp"
#include "screen/x11/X11Capturer.hpp"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <string_view>

namespace orvik::helper {
namespace {

constexpr char threadName[] = "orvik-capture"; // at most 15 characters
// The longest the thread sleeps without a reason, so a lost wake-up costs at most this.
constexpr std::uint64_t longestSleep = 1'000'000'000;

std::string_view failureName(ScreenCaptureFailure failure) {
    switch (failure) {
    case ScreenCaptureFailure::permissionDenied: return "permissionDenied";
    case ScreenCaptureFailure::displayUnavailable: return "displayUnavailable";
    case ScreenCaptureFailure::failed: return "failed";
    }
    return "unknown";
}

} // namespace

std::shared_ptr<X11CaptureSession> X11CaptureSession::start(std::string displayName, CaptureConfiguration configuration,
                                                            ScreenCaptureSource::FrameHandler onFrame,
                                                            ScreenCaptureSource::StopHandler onStop, Completion done,
                                                            StageObserver observer) {
    auto session = std::shared_ptr<X11CaptureSession>(new X11CaptureSession(
        std::move(displayName), configuration, std::move(onFrame), std::move(onStop), std::move(observer)));
    session->thread_ = std::thread([session, done = std::move(done)]() mutable { session->run(std::move(done)); });
    return session;
}

X11CaptureSession::X11CaptureSession(std::string displayName, CaptureConfiguration configuration,
                                     ScreenCaptureSource::FrameHandler onFrame, ScreenCaptureSource::StopHandler onStop,
                                     StageObserver observer)
    : displayName_(std::move(displayName)), displayID_(configuration.displayID), initial_(configuration),
      observer_(std::move(observer)), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), onFrame_(std::move(onFrame)),
      onStop_(std::move(onStop)) {}

X11CaptureSession::~X11CaptureSession() {
    if (thread_.joinable()) thread_.detach(); // only when the thread itself lets go of the last reference
    ::close(wakeFd_);
}

void X11CaptureSession::update(CaptureConfiguration configuration, Completion done) {
    {
        std::lock_guard lock(mutex_);
        if (!done_ && !stopping_) {
            updates_.push_back({configuration, std::move(done)});
            done = nullptr;
        }
    }
    if (done) {
        done(ScreenCaptureFailure::failed);
        return;
    }
    wake();
}

void X11CaptureSession::stop() {
    const bool onCaptureThread = std::this_thread::get_id() == thread_.get_id();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        onStop_ = nullptr;
    }
    delivering_ = false;
    wake();
    if (onCaptureThread) return;             // called from a handler: nothing else is being delivered
    { std::lock_guard delivery(delivery_); } // waits for a frame being handed over
    std::unique_lock lock(mutex_);
    if (!finished_.wait_for(lock, stopWait, [this] { return done_ || closing_; })) {
        abandoned_ = true;
        Log::error("Screen", "The X server did not answer; its capture thread was left behind");
        return;
    }
    finished_.wait(lock, [this] { return done_; });
    lock.unlock();
    if (thread_.joinable()) thread_.join();
}

void X11CaptureSession::run(Completion started) {
    pthread_setname_np(pthread_self(), threadName);
    {
        X11Capturer capturer;
        if (auto failure = capturer.open(displayName_, initial_)) {
            delivering_ = false;
            {
                std::lock_guard lock(mutex_);
                onStop_ = nullptr;
            }
            started(failure);
        } else {
            // A stop that came first ends the capture before any frame; the start itself succeeded.
            started(std::nullopt);
            loop(capturer);
        }
        capturer.settle();
        if (!mayClose()) capturer.abandon();
    }
    finish();
}

void X11CaptureSession::loop(X11Capturer& capturer) {
    while (!stopping()) {
        applyUpdates(capturer);
        capturer.handleEvents();
        if (capturer.isBroken()) return reportLoss(ScreenCaptureFailure::failed);
        if (capturer.monitorGone()) return reportLoss(ScreenCaptureFailure::displayUnavailable);
        if (capturer.frameDue()) {
            CaptureStageTimes times;
            auto frame = capturer.capture(times);
            if (capturer.isBroken()) return reportLoss(ScreenCaptureFailure::failed);
            if (frame) {
                if (observer_) observer_(times);
                deliver(std::move(*frame));
            }
            continue;
        }
        const auto now = X11Capturer::now();
        const auto wait = std::min(capturer.nextWakeAt() - std::min(capturer.nextWakeAt(), now), longestSleep);
        const timespec timeout{static_cast<time_t>(wait / 1'000'000'000), static_cast<long>(wait % 1'000'000'000)};
        // Told of the server's events only while they could bring the next picture forward: a busy screen (a
        // drawing reported each, the pointer's motion) then wakes the thread once a frame.
        const short serverEvents = capturer.changeSeen() ? 0 : POLLIN;
        pollfd watched[] = {{capturer.connectionFd(), serverEvents, 0}, {wakeFd_, POLLIN, 0}};
        ppoll(watched, 2, &timeout, nullptr);
        std::uint64_t wakes = 0;
        if (::read(wakeFd_, &wakes, sizeof wakes) < 0) {
            // Nobody woke us.
        }
    }
}

void X11CaptureSession::applyUpdates(X11Capturer& capturer) {
    std::deque<Update> updates;
    {
        std::lock_guard lock(mutex_);
        updates.swap(updates_);
    }
    for (auto& update : updates) update.done(capturer.configure(update.configuration));
}

void X11CaptureSession::deliver(CapturedFrame frame) {
    std::lock_guard delivery(delivery_);
    if (delivering_ && onFrame_) onFrame_(std::move(frame));
}

// The X server or the monitor went away: onStop hears of it once, unless a stop came first.
void X11CaptureSession::reportLoss(ScreenCaptureFailure failure) {
    ScreenCaptureSource::StopHandler handler;
    delivering_ = false;
    {
        std::lock_guard lock(mutex_);
        handler = std::move(onStop_);
        onStop_ = nullptr;
    }
    Log::error("Screen", "Capture stopped: " + std::string(failureName(failure)));
    if (handler) handler(failure);
}

bool X11CaptureSession::stopping() {
    std::lock_guard lock(mutex_);
    return stopping_;
}

// True when the connection may be closed through Xlib; after this no stop leaves the thread behind.
bool X11CaptureSession::mayClose() {
    std::lock_guard lock(mutex_);
    if (abandoned_) return false;
    closing_ = true;
    finished_.notify_all();
    return true;
}

void X11CaptureSession::wake() {
    std::uint64_t one = 1;
    if (::write(wakeFd_, &one, sizeof one) < 0) {
        // The counter is full: the thread is awake anyway.
    }
}

void X11CaptureSession::finish() {
    std::deque<Update> leftovers;
    {
        std::lock_guard lock(mutex_);
        done_ = true;
        leftovers.swap(updates_);
    }
    finished_.notify_all();
    for (auto& update : leftovers) update.done(ScreenCaptureFailure::failed);
}

} // namespace orvik::helper
