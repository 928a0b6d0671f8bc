#pragma once

#include "screen/ScreenCaptureSource.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace orvik::helper {

class X11Capturer;

// How long one picture took, for benchmarks: reading the screen (with the cursor and the blackout) and
// converting it. Nanoseconds.
struct CaptureStageTimes {
    std::uint64_t grab = 0;
    std::uint64_t convert = 0;
};

// One running capture: a thread of its own ("orvik-capture") with its own X connection, which it alone uses.
// Callers never wait for the X server: start and update complete from the thread, and stop returns after at
// most `stopWait` even when the server hangs (the thread then finishes on its own, holding this object, and drops
// its connection without Xlib: no X call runs on a thread nobody waits for while the process exits).
//
// No frame is delivered once stop() has returned: delivery and stop exclude each other. When the X server goes
// away the thread reports `failed` to onStop once and ends; the lost connection is never closed through Xlib.
class X11CaptureSession : public std::enable_shared_from_this<X11CaptureSession> {
public:
    using Completion = ScreenCaptureSource::Completion;
    using StageObserver = std::function<void(const CaptureStageTimes&)>;

    static constexpr std::chrono::milliseconds stopWait{300};

    static std::shared_ptr<X11CaptureSession> start(std::string displayName, CaptureConfiguration configuration,
                                                    ScreenCaptureSource::FrameHandler onFrame,
                                                    ScreenCaptureSource::StopHandler onStop, Completion done,
                                                    StageObserver observer);
    ~X11CaptureSession();
    X11CaptureSession(const X11CaptureSession&) = delete;
    X11CaptureSession& operator=(const X11CaptureSession&) = delete;

    std::uint32_t displayID() const { return displayID_; }
    void update(CaptureConfiguration configuration, Completion done);
    void stop();

private:
    struct Update {
        CaptureConfiguration configuration;
        Completion done;
    };

    X11CaptureSession(std::string displayName, CaptureConfiguration configuration,
                      ScreenCaptureSource::FrameHandler onFrame, ScreenCaptureSource::StopHandler onStop,
                      StageObserver observer);
    void run(Completion started);
    void loop(X11Capturer& capturer);
    void applyUpdates(X11Capturer& capturer);
    void deliver(CapturedFrame frame);
    void reportLoss(ScreenCaptureFailure failure);
    bool stopping();
    bool mayClose();
    void wake();
    void finish();

    const std::string displayName_;
    const std::uint32_t displayID_;
    CaptureConfiguration initial_;
    const StageObserver observer_;
    int wakeFd_ = -1;

    std::mutex mutex_;
    std::condition_variable finished_;
    ScreenCaptureSource::FrameHandler onFrame_;
    ScreenCaptureSource::StopHandler onStop_;
    std::deque<Update> updates_;
    bool stopping_ = false;
    // The thread's connection answered at the end, so closing it waits for nothing; a stop then waits for it.
    bool closing_ = false;
    // A stop gave up waiting for the thread: it must make no X call any more.
    bool abandoned_ = false;
    bool done_ = false;
    // Held while a frame is handed over; stop clears `delivering_` and then takes it, so a frame being handed
    // over is done when stop returns and none follows.
    std::mutex delivery_;
    std::atomic<bool> delivering_{true};
    std::thread thread_;
};

} // namespace orvik::helper
