#include "screen/x11/X11Capturer.hpp"

#include "platform/X11Monitors.hpp"
#include "screen/x11/CaptureGeometry.hpp"
#include "screen/x11/PixelRectMath.hpp"
#include "screen/x11/X11CursorPainter.hpp"

#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace orvik::helper {
namespace {

// With raw motion events the pointer is still asked for this often: a warp (XWarpPointer) reports no motion.
constexpr std::uint64_t pointerPollWithMotionEvents = 250'000'000;

// Paints `window` black where it overlaps `area`, in a BGRX picture of `area`.
void blackOut(const PixelRect& window, const PixelRect& area, std::uint8_t* pixels, int stride) {
    const auto part = overlap(window, area);
    if (!part) return;
    const auto bytes = static_cast<std::size_t>(part->width) * 4;
    for (int row = part->y - area.y; row < part->y - area.y + part->height; ++row) {
        std::memset(pixels + static_cast<std::ptrdiff_t>(row) * stride +
                        static_cast<std::ptrdiff_t>(part->x - area.x) * 4,
                    0, bytes);
    }
}

} // namespace

std::uint64_t X11Capturer::now() {
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);
    constexpr std::uint64_t second = 1'000'000'000;
    return static_cast<std::uint64_t>(time.tv_sec) * second + static_cast<std::uint64_t>(time.tv_nsec);
}

std::optional<ScreenCaptureFailure> X11Capturer::open(const std::string& displayName,
                                                      const CaptureConfiguration& configuration) {
    display_ = X11Display::open(displayName);
    if (!display_) return ScreenCaptureFailure::failed;
    Display* handle = display_->get();
    int fixesEvent = 0;
    int fixesError = 0;
    int damageError = 0;
    if (!XFixesQueryExtension(handle, &fixesEvent, &fixesError) ||
        !XDamageQueryExtension(handle, &damageEvent_, &damageError)) {
        return ScreenCaptureFailure::failed;
    }
    configuration_ = configuration;
    if (auto failure = layOut()) return failure;
    damage_ = XDamageCreate(handle, display_->root(), XDamageReportNonEmpty);
    damaged_ = XFixesCreateRegion(handle, nullptr, 0);
    ownWindows_ = std::make_unique<X11OwnWindows>(*display_);
    followPointerMotion();
    followMonitors();
    XFlush(handle);
    return isBroken() ? std::optional(ScreenCaptureFailure::failed) : std::nullopt;
}

std::optional<ScreenCaptureFailure> X11Capturer::configure(const CaptureConfiguration& configuration) {
    if (configuration.displayID != configuration_.displayID) return ScreenCaptureFailure::displayUnavailable;
    configuration_ = configuration;
    return layOut();
}

// Finds the monitor and sizes the image, converter and pool for the configuration.
std::optional<ScreenCaptureFailure> X11Capturer::layOut() {
    ++layouts_;
    const auto monitors = X11Monitors::list(*display_);
    auto found = std::find_if(monitors.begin(), monitors.end(),
                              [this](const DisplayInfo& info) { return info.id == configuration_.displayID; });
    if (found == monitors.end()) return ScreenCaptureFailure::displayUnavailable;
    Display* handle = display_->get();
    const auto visible = CaptureGeometry::onRoot(found->bounds, DisplayWidth(handle, display_->screen()),
                                                 DisplayHeight(handle, display_->screen()));
    if (!visible) return ScreenCaptureFailure::displayUnavailable;
    monitor_ = *visible;
    const auto area = CaptureGeometry::sourceRect(monitor_, configuration_.region);
    if (!image_ || area.width != area_.width || area.height != area_.height) {
        image_.reset();
        image_ = X11ShmImage::create(*display_, area.width, area.height);
        if (!image_) return ScreenCaptureFailure::failed;
    }
    area_ = area;
    if (!pool_ || pool_->width() != configuration_.width || pool_->height() != configuration_.height) {
        pool_ = std::make_unique<PixelBufferPool>(configuration_.width, configuration_.height);
    }
    converter_ =
        std::make_unique<I420Converter>(area_.width, area_.height, configuration_.width, configuration_.height);
    if (!converter_->valid()) return ScreenCaptureFailure::failed;
    pacer_.setFrameRate(configuration_.frameRate);
    pacer_.markChanged();
    return std::nullopt;
}

void X11Capturer::settle() {
    if (!isBroken()) XSync(display_->get(), False);
}

void X11Capturer::abandon() {
    if (display_) display_->markLost();
}

int X11Capturer::connectionFd() const {
    return display_ ? ConnectionNumber(display_->get()) : -1;
}

void X11Capturer::handleEvents() {
    if (isBroken()) return;
    checkPointer();
    drain();
    if (damagePending_ && now() >= pacer_.nextChangeAt() && !isBroken()) {
        noteDamage();
        drain(); // what arrived during that round trip, before the thread sleeps
    }
    // A place our window left came out of its hold: a new picture shows what is there now.
    if (!isBroken() && ownWindows_->settle(now())) pacer_.markChanged();
}

// Handles, in order, the events that have arrived and that the server sent before it began request `before` (all
// of them by default). Those arriving meanwhile wait for the next round: a flood of events never keeps the thread
// from taking pictures.
void X11Capturer::drain(unsigned long before) {
    Display* handle = display_->get();
    const auto time = now();
    for (int arrived = XEventsQueued(handle, QueuedAfterReading); arrived > 0 && !isBroken(); --arrived) {
        XEvent event{};
        XNextEvent(handle, &event);
        if (event.xany.serial >= before) {
            XPutBackEvent(handle, &event); // for the next round
            return;
        }
        dispatch(event, time);
    }
}

// Asks for XInput 2 raw motion on the root, so a still screen costs no pointer round trip per frame interval.
void X11Capturer::followPointerMotion() {
    Display* handle = display_->get();
    int opcode = 0;
    int event = 0;
    int error = 0;
    int major = 2;
    int minor = 0;
    if (!XQueryExtension(handle, "XInputExtension", &opcode, &event, &error) ||
        XIQueryVersion(handle, &major, &minor) != Success) {
        return;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawMotion);
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    XISelectEvents(handle, display_->root(), &mask, 1);
    inputOpcode_ = opcode;
}

// Monitors move, appear and go with CRTC changes that need not resize the root.
void X11Capturer::followMonitors() {
    Display* handle = display_->get();
    int event = 0;
    int error = 0;
    if (!XRRQueryExtension(handle, &event, &error)) return;
    XRRSelectInput(handle, display_->root(), RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask);
    randrEvent_ = event;
}

bool X11Capturer::isScreenChange(const XEvent& event) const {
    if (event.type == ConfigureNotify) return event.xconfigure.window == display_->root();
    return randrEvent_ && (event.type == *randrEvent_ + RRScreenChangeNotify || event.type == *randrEvent_ + RRNotify);
}

void X11Capturer::dispatch(const XEvent& event, std::uint64_t time) {
    if (event.type == damageEvent_ + XDamageNotify &&
        reinterpret_cast<const XDamageNotifyEvent&>(event).damage == damage_) {
        damagePending_ = true;
        return;
    }
    if (inputOpcode_ && event.type == GenericEvent && event.xcookie.extension == *inputOpcode_) {
        // Any motion: the picture's pointer is drawn where it is at capture time.
        pacer_.markChanged();
        return;
    }
    ownWindows_->handle(event, time);
    if (isScreenChange(event)) {
        // The screen or its monitors changed: the monitor may have moved, shrunk or gone.
        XEvent copy = event; // Xlib takes it mutable
        XRRUpdateConfiguration(&copy);
        if (auto failure = layOut()) monitorGone_ = *failure == ScreenCaptureFailure::displayUnavailable;
        pacer_.markChanged();
    }
    if (event.type == MapNotify || event.type == UnmapNotify || event.type == ConfigureNotify) pacer_.markChanged();
}

// Takes the damage the server gathered and counts it when it touches the captured area.
void X11Capturer::noteDamage() {
    damagePending_ = false;
    Display* handle = display_->get();
    XDamageSubtract(handle, damage_, None, damaged_);
    int count = 0;
    XRectangle* rectangles = XFixesFetchRegion(handle, damaged_, &count);
    for (int index = 0; rectangles && index < count; ++index) {
        const auto& rectangle = rectangles[index];
        if (overlap(area_, {rectangle.x, rectangle.y, rectangle.width, rectangle.height})) {
            pacer_.markChanged();
            break;
        }
    }
    if (rectangles) XFree(rectangles);
}

// The server reports no damage for pointer motion: without raw motion events the pointer is asked for once a
// frame interval, with them only now and then for warps.
void X11Capturer::checkPointer() {
    const auto time = now();
    if (isBroken() || time < nextPointerCheck_) return;
    nextPointerCheck_ = time + (inputOpcode_ ? pointerPollWithMotionEvents : pacer_.frameInterval());
    Window root = 0;
    Window child = 0;
    int x = 0;
    int y = 0;
    int windowX = 0;
    int windowY = 0;
    unsigned mask = 0;
    if (!XQueryPointer(display_->get(), display_->root(), &root, &child, &x, &y, &windowX, &windowY, &mask)) return;
    if (x != pointerX_ || y != pointerY_) pacer_.markChanged();
    pointerX_ = x;
    pointerY_ = y;
}

std::uint64_t X11Capturer::nextWakeAt() const {
    // Events read from the connection but not handled yet: the connection may have nothing more to tell.
    if (!isBroken() && XEventsQueued(display_->get(), QueuedAlready) > 0) return 0;
    auto next = std::min(pacer_.nextFrameAt(), nextPointerCheck_);
    if (auto settles = ownWindows_->nextSettleAt()) next = std::min(next, *settles);
    return damagePending_ ? std::min(next, pacer_.nextChangeAt()) : next;
}

std::optional<CapturedFrame> X11Capturer::capture(CaptureStageTimes& times) {
    const auto started = now();
    pacer_.frameTaken(started);
    auto buffer = pool_->acquire();
    if (!buffer || !takePicture()) return std::nullopt;
    ownWindows_->lookedAt(image_->pixels(), image_->stride(), area_, started);
    for (const auto& place : ownWindows_->places(started)) blackOut(place, area_, image_->pixels(), image_->stride());
    X11CursorPainter::paint(*display_, image_->pixels(), image_->stride(), area_);
    if (isBroken()) return std::nullopt;
    const auto grabbed = now();
    if (!converter_->convert(image_->pixels(), image_->stride(), *buffer)) return std::nullopt;
    const auto converted = now();
    times = {grabbed - started, converted - grabbed};
    return CapturedFrame{std::move(buffer), converted};
}

// Reads the screen knowing where our windows were when it was read: the events the server sent before it began
// reading tell of every move, leave and drawing made before, and only those are handled before the picture is
// painted black (a drawing told after it may have come too late for it). A window that appeared meanwhile, or a
// screen laid out anew, is not told by moves: the picture is then read again with the server grabbed, so nothing
// changes between looking at the windows and reading it (other clients wait that long, only in that rare case).
bool X11Capturer::takePicture() {
    if (ownWindows_->listStale()) ownWindows_->refresh(now());
    const auto layout = layouts_;
    if (!readPicture()) return false;
    if (isBroken() || monitorGone_) return false;
    if (!ownWindows_->listStale() && layout == layouts_) return true;
    return takeGrabbedPicture();
}

bool X11Capturer::readPicture() {
    if (!image_) return false;
    const auto request = NextRequest(display_->get());
    if (!image_->grab(area_.x, area_.y)) return false;
    drain(request);
    return true;
}

bool X11Capturer::takeGrabbedPicture() {
    Display* handle = display_->get();
    XGrabServer(handle);
    XSync(handle, False); // every event sent before the grab is now queued
    drain();
    bool taken = false;
    if (!isBroken() && !monitorGone_) {
        if (ownWindows_->listStale()) ownWindows_->refresh(now());
        taken = readPicture();
    }
    if (isBroken()) return false;
    XUngrabServer(handle);
    XFlush(handle);
    return taken;
}

} // namespace orvik::helper
