#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

struct sd_bus;
struct sd_bus_message;
struct sd_bus_slot;

namespace orvik::helper {

class BusConnection;
class X11Display;

// Whether the user's session is locked: logind's LockedHint for our session, or the X screen saver being on.
// X11 has no secure-keyboard-entry flag, and probing for one with a keyboard grab would steal the user's
// keystrokes and focus; a locked session is when typed input must not land anywhere.
//
// Threading: the watcher keeps its own thread ("Orvik.Session") and system-bus connection. It reads LockedHint
// once, then follows logind's PropertiesChanged signals of the session; reading the state asks nobody. `changed`
// is called on the watcher's thread whenever the known state changes (the first answer included).
//
// Without logind the watcher waits on the bus for logind's name to get an owner; without a system bus it waits
// for the bus's socket to appear. A lookup of our session that fails (logind too slow to answer, or no session
// yet) is tried again with a growing delay, besides at once on a new session: a slow logind is not a final "no".
class SessionLock {
public:
    using Changed = std::function<void(bool locked)>;

    explicit SessionLock(Changed changed = {});
    ~SessionLock();
    SessionLock(const SessionLock&) = delete;
    SessionLock& operator=(const SessionLock&) = delete;

    // logind's LockedHint of our session (see LogindClient::ownSession), as last heard; absent while logind has
    // not answered.
    std::optional<bool> lockedHint() const;
    // Whether the X screen saver is currently on; absent without the MIT-SCREEN-SAVER extension. Asks the server.
    static std::optional<bool> screenSaverActive(X11Display& display);

private:
    void run();
    bool openBus();
    void lookUpSession();
    void disconnect();
    void readLockedHint();
    void waitForBus();
    void waitForBusSocket();
    bool logindIsAbsent();
    void scheduleLookupRetry();
    int millisecondsUntilLookupRetry() const;
    void store(std::optional<bool> locked);
    void propertiesChanged(sd_bus_message* message);
    void logindOwnerChanged(sd_bus_message* message);

    Changed changed_;
    std::atomic<int> state_;
    std::atomic<bool> stopping_{false};
    int wakeFd_ = -1;
    // The watcher's thread only.
    std::unique_ptr<BusConnection> connection_;
    sd_bus* bus_ = nullptr; // the connection's
    sd_bus_slot* match_ = nullptr;
    sd_bus_slot* ownerMatch_ = nullptr;
    sd_bus_slot* sessionNewMatch_ = nullptr;
    std::string sessionPath_;
    bool rereadNeeded_ = false;
    bool lookupNeeded_ = false;
    // When a failed lookup is tried again, and the delay after that one.
    std::optional<std::chrono::steady_clock::time_point> lookupRetryAt_;
    std::chrono::milliseconds lookupRetryDelay_;
    // A socket that appeared but did not take the connection yet (its daemon may still be starting).
    bool socketJustAppeared_ = false;
    std::thread thread_;
};

} // namespace orvik::helper
