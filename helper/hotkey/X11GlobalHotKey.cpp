#include "hotkey/X11GlobalHotKey.hpp"

#include <QSocketNotifier>

// Last: Xlib's macros (None, Bool, Status) would change names in the headers above.
#include "core/Log.hpp"
#include "platform/X11Display.hpp"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <array>
#include <initializer_list>

namespace orvik::helper {
namespace {

constexpr std::string_view logCategory = "HotKey";

// The modifier bit (Mod1…Mod5) whose keys include one of `keysyms`; `fallback` when the map has none.
unsigned int modifierMaskOf(Display* display, std::initializer_list<KeySym> keysyms, unsigned int fallback) {
    XModifierKeymap* map = XGetModifierMapping(display);
    if (!map) return fallback;
    unsigned int found = 0;
    for (int modifier = Mod1MapIndex; modifier <= Mod5MapIndex && found == 0; ++modifier) {
        for (int slot = 0; slot < map->max_keypermod && found == 0; ++slot) {
            const KeyCode code = map->modifiermap[modifier * map->max_keypermod + slot];
            if (code == 0) continue;
            for (KeySym keysym : keysyms) {
                if (XkbKeycodeToKeysym(display, code, 0, 0) == keysym) found = 1U << modifier;
            }
        }
    }
    XFreeModifiermap(map);
    return found != 0 ? found : fallback;
}

} // namespace

X11GlobalHotKey::X11GlobalHotKey(const std::string& displayName) : display_(X11Display::open(displayName)) {
    if (!display_) {
        Log::error(logCategory, "No X display: the pause shortcut is unavailable");
        return;
    }
    Display* display = display_->get();
    Bool supported = False;
    XkbSetDetectableAutoRepeat(display, True, &supported);
    if (!supported) Log::notice(logCategory, "Detectable auto-repeat is not supported: a held shortcut repeats");
    keyCode_ = XKeysymToKeycode(display, XK_p);
    const unsigned int alt = modifierMaskOf(display, {XK_Alt_L, XK_Alt_R}, Mod1Mask);
    const unsigned int super = modifierMaskOf(display, {XK_Super_L, XK_Super_R}, Mod4Mask);
    const unsigned int numLock = modifierMaskOf(display, {XK_Num_Lock}, Mod2Mask);
    modifiers_ = ControlMask | alt | super;
    for (unsigned int locks : std::array<unsigned int, 4>{0, LockMask, numLock, LockMask | numLock}) {
        variants_.push_back(modifiers_ | locks);
    }
    notifier_ = std::make_unique<QSocketNotifier>(ConnectionNumber(display), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { readEvents(); });
}

X11GlobalHotKey::~X11GlobalHotKey() {
    notifier_.reset();
    ungrab();
}

void X11GlobalHotKey::setOnPress(std::function<void()> onPress) {
    onPress_ = std::move(onPress);
}

void X11GlobalHotKey::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled) {
        grab();
    } else {
        ungrab();
    }
}

void X11GlobalHotKey::grab() {
    if (!display_ || display_->isBroken() || keyCode_ == 0) return;
    Display* display = display_->get();
    const std::uint64_t errorsBefore = display_->errorCount();
    for (unsigned int mask : variants_) {
        XGrabKey(display, static_cast<int>(keyCode_), mask, display_->root(), False, GrabModeAsync, GrabModeAsync);
    }
    // The sync makes a refused grab (BadAccess: another client holds the shortcut) show at once.
    grabbed_ = display_->syncSucceeded(errorsBefore);
    if (!grabbed_) {
        Log::notice(logCategory, "The pause shortcut is taken by another application");
        ungrab();
    }
    readEvents();
}

void X11GlobalHotKey::ungrab() {
    grabbed_ = false;
    armed_ = true;
    if (!display_ || display_->isBroken() || keyCode_ == 0) return;
    // Releasing every variant also undoes a partial grab; a variant held by another client stays theirs.
    for (unsigned int mask : variants_) XUngrabKey(display_->get(), static_cast<int>(keyCode_), mask, display_->root());
    XSync(display_->get(), False);
}

void X11GlobalHotKey::readEvents() {
    if (!display_ || display_->isBroken()) return;
    Display* display = display_->get();
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == KeyPress || event.type == KeyRelease) handle(event.xkey.keycode, event.type == KeyPress);
    }
}

void X11GlobalHotKey::handle(unsigned int keyCode, bool pressed) {
    if (!grabbed_ || keyCode != keyCode_) return;
    if (!pressed) {
        armed_ = true;
        return;
    }
    if (!armed_) return;
    armed_ = false;
    if (onPress_) onPress_();
}

} // namespace orvik::helper
