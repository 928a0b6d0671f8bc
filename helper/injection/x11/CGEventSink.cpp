#include "injection/x11/CGEventSink.hpp"

#include "core/Log.hpp"
#include "injection/x11/X11KeyTable.hpp"
#include "injection/x11/X11Keyboard.hpp"
#include "injection/x11/X11Pointer.hpp"
#include "injection/x11/X11SpareKeycodes.hpp"
#include "injection/x11/X11Unicode.hpp"
#include "platform/X11Display.hpp"
#include "platform/X11Monitors.hpp"
#include "platform/XSettings.hpp"

#include <X11/XKBlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <chrono>

namespace orvik::helper {
namespace {

// Media keys and Mac keys are held apart in the keyboard's book of held keys.
constexpr int mediaKeyHolderBase = 0x10000;

} // namespace

CGEventSink::CGEventSink(double doubleClickInterval, CGEventSinkOptions options)
    : doubleClickInterval_(doubleClickInterval), options_(std::move(options)) {
    {
        std::lock_guard lock(mutex_);
        if (!connectLocked()) Log::error("Input", "Cannot connect to the X display");
    }
    if (options_.timerThread) timer_ = std::thread([this] { timerLoop(); });
}

CGEventSink::~CGEventSink() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (timer_.joinable()) timer_.join();
    std::lock_guard lock(mutex_);
    shutDownLocked();
}

double CGEventSink::systemDoubleClickInterval() {
    auto display = X11Display::open();
    return display ? XSettings::doubleClickInterval(*display) : XSettings::defaultDoubleClickInterval;
}

bool CGEventSink::connectLocked() const {
    if (display_ && !display_->isBroken()) return true;
    // What was meant for a lost connection goes with it at once: a keycode deadline left behind would keep
    // the timer thread spinning until the next attempt.
    pending_.clear();
    keyboard_.reset();
    pointer_.reset();
    monitorsReadAt_.reset();
    double now = options_.now();
    if (lastConnectAttempt_ && now - *lastConnectAttempt_ < reconnectInterval) return false;
    lastConnectAttempt_ = now;
    display_ = X11Display::open(options_.displayName);
    if (!display_) return false;
    Display* handle = display_->get();
    int errorBase = 0;
    if (XRRQueryExtension(handle, &randrEventBase_, &errorBase)) {
        XRRSelectInput(handle, display_->root(),
                       RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    } else {
        randrEventBase_ = -1;
    }
    int opcode = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (XkbQueryExtension(handle, &opcode, &xkbEventBase_, &errorBase, &major, &minor)) {
        // An XKB client hears of keyboard map changes only through XKB events it asked for.
        constexpr unsigned mapDetails = XkbKeySymsMask | XkbKeyTypesMask | XkbModifierMapMask;
        XkbSelectEventDetails(handle, XkbUseCoreKbd, XkbMapNotify, mapDetails, mapDetails);
        XkbSelectEventDetails(handle, XkbUseCoreKbd, XkbNewKeyboardNotify, XkbNKN_KeycodesMask, XkbNKN_KeycodesMask);
    } else {
        xkbEventBase_ = -1;
    }
    keyboard_ = std::make_unique<X11Keyboard>(handle);
    pointer_ = std::make_unique<X11Pointer>(handle);
    return true;
}

// The sink's connection receives keyboard and pointer mapping changes (sent to every client) and the RandR
// changes it asked for; reading them here keeps the queue short and the cached maps fresh.
void CGEventSink::drainEventsLocked() const {
    Display* handle = display_->get();
    while (XPending(handle) > 0) {
        XEvent event;
        XNextEvent(handle, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            if (event.xmapping.request == MappingPointer) {
                pointer_->mappingChanged();
            } else {
                keyboard_->mappingChanged();
            }
        } else if (xkbEventBase_ >= 0 && event.type == xkbEventBase_) {
            keyboard_->mappingChanged();
        } else if (randrEventBase_ >= 0 &&
                   (event.type == randrEventBase_ + RRScreenChangeNotify || event.type == randrEventBase_ + RRNotify)) {
            XRRUpdateConfiguration(&event);
            monitorsReadAt_.reset();
        }
    }
}

const std::vector<DisplayInfo>& CGEventSink::monitorsLocked() const {
    double now = options_.now();
    if (!monitorsReadAt_ || now - *monitorsReadAt_ >= monitorsMaxAge) {
        monitors_ = X11Monitors::list(*display_);
        monitorsReadAt_ = now;
    }
    return monitors_;
}

namespace {

DisplayRect rectOf(const DisplayInfo& display) {
    return {static_cast<double>(display.bounds.x), static_cast<double>(display.bounds.y),
            static_cast<double>(display.bounds.width), static_cast<double>(display.bounds.height)};
}

} // namespace

DisplayPoint CGEventSink::cursorLocation() const {
    std::lock_guard lock(mutex_);
    if (!connectLocked()) return {};
    Window root = None;
    Window child = None;
    int rootX = 0;
    int rootY = 0;
    int windowX = 0;
    int windowY = 0;
    unsigned mask = 0;
    if (!XQueryPointer(display_->get(), display_->root(), &root, &child, &rootX, &rootY, &windowX, &windowY, &mask)) {
        return {};
    }
    return {static_cast<double>(rootX), static_cast<double>(rootY)};
}

std::vector<DisplayRect> CGEventSink::displayBounds() const {
    std::lock_guard lock(mutex_);
    std::vector<DisplayRect> bounds;
    if (!connectLocked()) return bounds;
    drainEventsLocked();
    for (const auto& display : monitorsLocked()) bounds.push_back(rectOf(display));
    return bounds;
}

std::optional<DisplayRect> CGEventSink::displayBounds(std::uint32_t displayID) const {
    std::lock_guard lock(mutex_);
    if (!connectLocked()) return std::nullopt;
    drainEventsLocked();
    for (const auto& display : monitorsLocked()) {
        if (display.id == displayID) return rectOf(display);
    }
    return std::nullopt;
}

void CGEventSink::post(Operation operation, bool touchesKeyboard) {
    {
        std::lock_guard lock(mutex_);
        if (!connectLocked()) return;
        drainEventsLocked();
        if (!pending_.empty() || !operation(options_.now())) pending_.push_back(std::move(operation));
        XFlush(display_->get());
    }
    if (touchesKeyboard) wake_.notify_all();
}

// X events carry no click count: toolkits count clicks themselves from the time and place of plain presses,
// with the desktop's double-click interval (the one this sink reports). So a press is posted as a press, and
// double and triple clicks arise from their timing. The delta is not posted either: the server derives motion
// from the positions.
void CGEventSink::postMouse(MouseEventKind kind, std::optional<MouseButton> button, DisplayPoint location, int,
                            DisplayVector) {
    post(
        [this, kind, button, location](double) {
            pointer_->moveTo(location.x, location.y);
            if (kind == MouseEventKind::down || kind == MouseEventKind::up) {
                pointer_->button(button.value_or(MouseButton::left), kind == MouseEventKind::down);
            }
            return true;
        },
        false);
}

void CGEventSink::postScroll(std::int32_t dx, std::int32_t dy, ScrollPhase phase, MomentumPhase) {
    post(
        [this, dx, dy, phase](double) {
            pointer_->scroll(dx, dy, phase);
            return true;
        },
        false);
}

void CGEventSink::postKey(std::uint16_t keyCode, bool isDown, ModifierFlags flags) {
    auto keysym = X11KeyTable::keysym(keyCode);
    if (keysym == X11KeyTable::noSymbol) return;
    auto modifiers = X11Keyboard::modifiersFor(flags);
    post([this, keyCode, keysym, isDown,
          modifiers](double now) { return keyboard_->key(keyCode, keysym, isDown, modifiers, now); },
         true);
}

void CGEventSink::postModifierChange(std::uint16_t, ModifierFlags flags) {
    auto modifiers = X11Keyboard::modifiersFor(flags);
    post(
        [this, modifiers](double) {
            keyboard_->setModifiers(modifiers);
            return true;
        },
        true);
}

// X has no key event that carries text: the whole text is typed key by key on the down call, so the up call
// has nothing left to do.
void CGEventSink::postUnicode(std::u16string_view units, bool isDown) {
    if (!isDown || units.empty()) return;
    post([this, text = X11Unicode::codePoints(units),
          next = std::size_t{0}](double now) mutable { return keyboard_->type(text, next, now); },
         true);
}

void CGEventSink::postMediaKey(std::int32_t code, bool isDown) {
    auto keysym = X11KeyTable::mediaKeysym(code);
    if (keysym == X11KeyTable::noSymbol) return;
    post([this, code, keysym,
          isDown](double now) { return keyboard_->key(mediaKeyHolderBase + code, keysym, isDown, std::nullopt, now); },
         true);
}

bool CGEventSink::isSecureInputEnabled() const {
    if (sessionLock_.logindLockedHint().value_or(false)) return true;
    std::lock_guard lock(mutex_);
    if (!connectLocked()) return false;
    return SessionLock::screenSaverActive(*display_).value_or(false);
}

void CGEventSink::runDueWork() {
    std::lock_guard lock(mutex_);
    runDueWorkLocked();
}

void CGEventSink::runDueWorkLocked() {
    if (!connectLocked()) return;
    drainEventsLocked();
    double now = options_.now();
    while (!pending_.empty() && pending_.front()(now)) pending_.pop_front();
    keyboard_->restoreDue(now);
    XFlush(display_->get());
}

std::optional<double> CGEventSink::nextDueTime() const {
    std::lock_guard lock(mutex_);
    return nextDueTimeLocked();
}

std::optional<double> CGEventSink::nextDueTimeLocked() const {
    if (!keyboard_) return std::nullopt;
    return keyboard_->nextDeadline();
}

void CGEventSink::timerLoop() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        auto due = nextDueTimeLocked();
        if (!due) {
            wake_.wait(lock);
            continue;
        }
        double wait = *due - options_.now();
        if (wait > 0) {
            wake_.wait_for(lock, std::chrono::duration<double>(wait));
            continue;
        }
        runDueWorkLocked();
    }
}

void CGEventSink::shutDownLocked() {
    if (!display_ || display_->isBroken() || !keyboard_) return;
    if (!pending_.empty()) Log::error("Input", "Input still waiting for a keycode was dropped");
    pending_.clear();
    // The last borrowed keycodes keep their keysyms long enough for applications to read them.
    if (auto latest = keyboard_->latestSpareUse()) {
        double wait =
            std::clamp(*latest + X11SpareKeycodes::restoreDelay - options_.now(), 0.0, X11SpareKeycodes::restoreDelay);
        std::this_thread::sleep_for(std::chrono::duration<double>(wait));
    }
    pointer_->releaseEverything();
    keyboard_->releaseEverything();
    XSync(display_->get(), False);
}

} // namespace orvik::helper
