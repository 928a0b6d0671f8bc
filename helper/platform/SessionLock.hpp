#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

struct sd_bus;

namespace orvik::helper {

class X11Display;

// Whether the user's session is locked: logind's LockedHint for our session, or the X screen saver being on.
// X11 has no secure-keyboard-entry flag, and probing for one with a keyboard grab would steal the user's
// keystrokes and focus; a locked session is when typed input must not land anywhere.
class SessionLock {
public:
    SessionLock();
    ~SessionLock();
    SessionLock(const SessionLock&) = delete;
    SessionLock& operator=(const SessionLock&) = delete;

    // True when logind says the session is locked or the screen saver of `display` (if given) is active.
    bool isLocked(X11Display* display);

    // logind's LockedHint of our session ($XDG_SESSION_ID, else this process's); absent without logind.
    std::optional<bool> logindLockedHint();
    // Whether the X screen saver is currently on; absent without the MIT-SCREEN-SAVER extension.
    static std::optional<bool> screenSaverActive(X11Display& display);

private:
    std::optional<std::string> sessionPath();

    std::mutex mutex_;
    sd_bus* bus_ = nullptr;
    std::string sessionPath_;
};

} // namespace orvik::helper
