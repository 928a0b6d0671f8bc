#include "hotkey/X11GlobalHotKey.hpp"

#include <QSocketNotifier>

// Last: Xlib's macros (None, Bool, Status) would change names in the headers above.
#include "core/Log.hpp"
#include "platform/X11Display.hpp"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <array>
#include <initializer_list>
#include <tuple>

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

// Without detectable auto-repeat a held key arrives as release and press pairs with equal times; a real release
// is never followed by its key's press at the same moment.
bool isRepeat(Display* display, const XKeyEvent& release) {
    if (XEventsQueued(display, QueuedAfterReading) == 0) return false;
    XEvent next;
    XPeekEvent(display, &next);
    return next.type == KeyPress && next.xkey.keycode == release.keycode && next.xkey.time == release.time;
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
    detectableRepeat_ = supported == True;
    if (!detectableRepeat_) Log::notice(logCategory, "Detectable auto-repeat is not supported");
    std::tie(keyCode_, variants_) = currentKeys();
    notifier_ = std::make_unique<QSocketNotifier>(ConnectionNumber(display), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { readEvents(); });
}

X11GlobalHotKey::~X11GlobalHotKey() {
    notifier_.reset();
    ungrab();
}

std::pair<unsigned int, std::vector<unsigned int>> X11GlobalHotKey::currentKeys() const {
    Display* display = display_->get();
    const unsigned int alt = modifierMaskOf(display, {XK_Alt_L, XK_Alt_R}, Mod1Mask);
    const unsigned int super = modifierMaskOf(display, {XK_Super_L, XK_Super_R}, Mod4Mask);
    const unsigned int numLock = modifierMaskOf(display, {XK_Num_Lock}, Mod2Mask);
    std::vector<unsigned int> variants;
    for (unsigned int locks : std::array<unsigned int, 4>{0, LockMask, numLock, LockMask | numLock}) {
        variants.push_back(ControlMask | alt | super | locks);
    }
    return {XKeysymToKeycode(display, XK_p), variants};
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
    if (!display_) return;
    Display* display = display_->get();
    while (!display_->isBroken() && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == KeyRelease && !detectableRepeat_ && isRepeat(display, event.xkey)) {
            XNextEvent(display, &event); // the repeat's press
        } else if (event.type == KeyPress || event.type == KeyRelease) {
            handle(event.xkey.keycode, event.type == KeyPress);
        } else if (event.type == MappingNotify && event.xmapping.request != MappingPointer) {
            XRefreshKeyboardMapping(&event.xmapping);
            keyboardChanged();
        }
    }
    // A lost connection stays readable: stop listening instead of waking the GUI thread forever.
    if (display_->isBroken() && notifier_ && notifier_->isEnabled()) {
        notifier_->setEnabled(false);
        Log::error(logCategory, "Lost the X display: the pause shortcut is unavailable");
    }
}

void X11GlobalHotKey::keyboardChanged() {
    // Spare keys are remapped often (typing characters missing from the keymap): only a moved P, Alt, Super or
    // Num Lock, as another layout brings, needs the shortcut grabbed anew.
    auto [keyCode, variants] = currentKeys();
    if (keyCode == keyCode_ && variants == variants_) return;
    const bool regrab = enabled_;
    if (regrab) ungrab();
    keyCode_ = keyCode;
    variants_ = std::move(variants);
    if (regrab) grab();
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
