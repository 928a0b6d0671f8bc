#include "permissions/X11SessionProbe.hpp"

#include "platform/X11Display.hpp"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cstdlib>

namespace orvik::helper {
namespace {

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

bool X11SessionProbe::Environment::isWayland() const {
    return !waylandDisplay.empty() || sessionType == "wayland";
}

X11SessionProbe::Environment X11SessionProbe::Environment::current() {
    return {environmentValue("DISPLAY"), environmentValue("WAYLAND_DISPLAY"), environmentValue("XDG_SESSION_TYPE")};
}

X11SessionProbe::X11SessionProbe(std::function<Environment()> environment, ServerClock now)
    : environment_(std::move(environment)), now_(std::move(now)) {}

X11SessionProbe::~X11SessionProbe() = default;

std::shared_ptr<X11SessionProbe> X11SessionProbe::shared() {
    static const auto instance = std::make_shared<X11SessionProbe>();
    return instance;
}

bool X11SessionProbe::canPostEvents() {
    return answer(postEvents_, &X11SessionProbe::hasXTest);
}

bool X11SessionProbe::canReadScreen() {
    return answer(readScreen_, &X11SessionProbe::rootReadable);
}

bool X11SessionProbe::answer(std::optional<Answer>& cached, Check check) {
    std::lock_guard lock(mutex_);
    double time = now_();
    bool connectionLost = display_ && display_->isBroken();
    if (cached && !connectionLost && time - cached->time < reprobeInterval) return cached->granted;
    auto environment = environment_();
    bool granted = false;
    if (!environment.isWayland()) {
        X11Display* display = connection(environment);
        granted = display && check(*display);
        // A connection found lost just now may have a new server behind its display (a restarted one).
        if (display && display->isBroken()) {
            display = connection(environment);
            granted = display && check(*display);
        }
    }
    cached = Answer{granted, time};
    return granted;
}

X11Display* X11SessionProbe::connection(const Environment& environment) {
    if (display_ && (display_->isBroken() || displayName_ != environment.display)) display_.reset();
    if (!display_) {
        display_ = X11Display::open(environment.display);
        displayName_ = environment.display;
    }
    return display_.get();
}

bool X11SessionProbe::hasXTest(X11Display& display) {
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    auto errorsBefore = display.errorCount();
    bool present = XTestQueryExtension(display.get(), &eventBase, &errorBase, &major, &minor);
    // The round trip also tells whether the server is still there.
    return present && display.syncSucceeded(errorsBefore);
}

bool X11SessionProbe::rootReadable(X11Display& display) {
    auto errorsBefore = display.errorCount();
    XImage* image = XGetImage(display.get(), display.root(), 0, 0, 1, 1, AllPlanes, ZPixmap);
    if (!image) return false;
    XDestroyImage(image);
    return display.syncSucceeded(errorsBefore);
}

} // namespace orvik::helper
