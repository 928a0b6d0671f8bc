#include "screen/x11/X11CaptureSource.hpp"

#include "platform/X11Display.hpp"
#include "platform/X11Monitors.hpp"
#include "screen/x11/CaptureGeometry.hpp"

#include <pthread.h>

#include <cstdlib>
#include <string_view>
#include <thread>

namespace orvik::helper {
namespace {

constexpr char listingThreadName[] = "orvik-displays"; // at most 15 characters

std::string_view environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string_view(value) : std::string_view();
}

} // namespace

X11CaptureSource::X11CaptureSource(std::string displayName) : displayName_(std::move(displayName)) {}

X11CaptureSource::~X11CaptureSource() {
    if (session_) session_->stop();
}

ScreenCaptureSource::DisplaysResult X11CaptureSource::listDisplays(const std::string& displayName) {
    auto display = X11Display::open(displayName);
    if (!display) return ScreenCaptureFailure::failed;
    std::vector<ScreenDisplay> displays;
    const int rootWidth = DisplayWidth(display->get(), display->screen());
    const int rootHeight = DisplayHeight(display->get(), display->screen());
    for (const auto& monitor : X11Monitors::list(*display)) {
        // What can be captured is the part on the root window; a monitor wholly outside it is not offered.
        auto visible = CaptureGeometry::onRoot(monitor.bounds, rootWidth, rootHeight);
        if (!visible) continue;
        const auto width = static_cast<std::int64_t>(visible->width);
        const auto height = static_cast<std::int64_t>(visible->height);
        // X11 has no points: a monitor's size is its pixel size. The first listed is the main one.
        displays.push_back({monitor.id, monitor.name, width, height, width, height, displays.empty()});
    }
    if (display->isBroken()) return ScreenCaptureFailure::failed;
    return displays;
}

void X11CaptureSource::displays(std::function<void(DisplaysResult)> done) {
    std::thread([name = displayName_, done = std::move(done)] {
        pthread_setname_np(pthread_self(), listingThreadName);
        done(listDisplays(name));
    }).detach();
}

void X11CaptureSource::start(CaptureConfiguration configuration, FrameHandler onFrame, StopHandler onStop,
                             Completion done) {
    std::shared_ptr<X11CaptureSession> previous;
    std::lock_guard lock(mutex_);
    previous = std::move(session_);
    if (previous) previous->stop(); // callers stop first; a leftover capture must not run on beside the new one
    session_ = X11CaptureSession::start(displayName_, configuration, std::move(onFrame), std::move(onStop),
                                        std::move(done), observer_);
}

void X11CaptureSource::update(CaptureConfiguration configuration, Completion done) {
    std::shared_ptr<X11CaptureSession> session;
    {
        std::lock_guard lock(mutex_);
        session = session_;
    }
    if (!session || session->displayID() != configuration.displayID) {
        done(ScreenCaptureFailure::displayUnavailable);
        return;
    }
    session->update(configuration, std::move(done));
}

void X11CaptureSource::stop(std::function<void()> done) {
    std::shared_ptr<X11CaptureSession> session;
    {
        std::lock_guard lock(mutex_);
        session = std::move(session_);
    }
    if (session) session->stop();
    done();
}

void X11CaptureSource::setStageObserver(X11CaptureSession::StageObserver observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

bool x11CaptureAvailable() {
    return !environmentValue("DISPLAY").empty() && environmentValue("WAYLAND_DISPLAY").empty() &&
           environmentValue("XDG_SESSION_TYPE") != "wayland";
}

std::shared_ptr<ScreenCaptureSource> makeX11CaptureSource() {
    return std::make_shared<X11CaptureSource>();
}

} // namespace orvik::helper
