#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>

struct sd_bus;
struct sd_bus_message;
struct sd_bus_slot;

namespace orvik::helper {

class X11Display;

// Whether the user's session is locked: logind's LockedHint for our session, or the X screen saver being on.
// X11 has no secure-keyboard-entry flag, and probing for one with a keyboard grab would steal the user's
// keystrokes and focus; a locked session is when typed input must not land anywhere.
//
// Threading: the watcher keeps its own thread and system-bus connection. It reads LockedHint once, then follows
// logind's PropertiesChanged signals of the session; reading the state asks nobody. `changed` is called on the
// watcher's thread whenever the known state changes (the first answer included).
class SessionLock {
public:
    using Changed = std::function<void(bool locked)>;

    // Without logind, or when our session is unknown, the watcher tries again this often (seconds).
    static constexpr double retryInterval = 5.0;

    explicit SessionLock(Changed changed = {});
    ~SessionLock();
    SessionLock(const SessionLock&) = delete;
    SessionLock& operator=(const SessionLock&) = delete;

    // logind's LockedHint of our session ($XDG_SESSION_ID, else this process's), as last heard; absent while
    // logind has not answered.
    std::optional<bool> lockedHint() const;
    // Whether the X screen saver is currently on; absent without the MIT-SCREEN-SAVER extension. Asks the server.
    static std::optional<bool> screenSaverActive(X11Display& display);

private:
    void run();
    bool connect();
    void disconnect();
    void readLockedHint();
    void waitForBus();
    void store(std::optional<bool> locked);
    void propertiesChanged(sd_bus_message* message);

    Changed changed_;
    const std::string sessionID_;
    std::atomic<int> state_;
    std::atomic<bool> stopping_{false};
    int wakeFd_ = -1;
    // The watcher's thread only.
    sd_bus* bus_ = nullptr;
    sd_bus_slot* match_ = nullptr;
    std::string sessionPath_;
    bool rereadNeeded_ = false;
    std::thread thread_;
};

} // namespace orvik::helper
