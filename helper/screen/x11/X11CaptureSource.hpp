#pragma once

#include "screen/ScreenCaptureSource.hpp"
#include "screen/x11/X11CaptureSession.hpp"

#include <memory>
#include <mutex>
#include <string>

namespace orvik::helper {

// The display capture source of an X11 desktop: lists the RandR monitors with the helper's display identifiers
// (main display first) and captures one of them on a thread of its own (X11CaptureSession): MIT-SHM, the
// pointer drawn in, paced by XDamage, converted to I420, this application's windows painted black. Listing runs
// on a short-lived thread with a connection of its own, so no caller waits for the X server.
class X11CaptureSource : public ScreenCaptureSource {
public:
    // On the X display `displayName`, or on $DISPLAY when it is empty.
    explicit X11CaptureSource(std::string displayName = {});
    ~X11CaptureSource() override;

    void displays(std::function<void(DisplaysResult)> done) override;
    void start(CaptureConfiguration configuration, FrameHandler onFrame, StopHandler onStop, Completion done) override;
    void update(CaptureConfiguration configuration, Completion done) override;
    void stop(std::function<void()> done) override;

    // Told how long each picture took to grab and convert (benchmarks); set before start.
    void setStageObserver(X11CaptureSession::StageObserver observer);

    // The displays of the X server `displayName` as the phone sees them; a failure when none answers.
    static DisplaysResult listDisplays(const std::string& displayName);

private:
    const std::string displayName_;
    std::mutex mutex_;
    std::shared_ptr<X11CaptureSession> session_;
    X11CaptureSession::StageObserver observer_;
};

// Whether this desktop can be captured at all: an X display is named and the session is not a Wayland one
// (there the root window of XWayland reads back empty).
bool x11CaptureAvailable();

std::shared_ptr<ScreenCaptureSource> makeX11CaptureSource();

} // namespace orvik::helper
