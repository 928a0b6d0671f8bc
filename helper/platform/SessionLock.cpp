#include "platform/SessionLock.hpp"

#include "core/PathAppearance.hpp"
#include "platform/BusConnection.hpp"
#include "platform/LogindClient.hpp"
#include "platform/X11Display.hpp"

#include <X11/extensions/scrnsaver.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace orvik::helper {
namespace {

// Calls are made on the watcher's own thread; one that takes longer counts as no answer.
constexpr std::chrono::milliseconds callTimeout{500};

constexpr int unknown = -1;

constexpr const char* threadName = "Orvik.Session";
std::string logindOwnerMatch() {
    return std::string("type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                       "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='") +
           LogindClient::service + "'";
}

std::string sessionNewMatch() {
    return std::string("type='signal',sender='") + LogindClient::service + "',interface='" +
           LogindClient::managerInterface + "',member='SessionNew'";
}
// A failed lookup of our session is tried again after this, the delay doubling up to the longest.
constexpr std::chrono::milliseconds firstLookupRetry{250};
constexpr std::chrono::milliseconds longestLookupRetry{60'000};

// A system bus at an address without a socket file to watch is tried this often.
constexpr std::chrono::milliseconds unwatchedBusRetry{60'000};
// A bus socket that has just appeared is tried again this long after a refused connection.
constexpr std::chrono::milliseconds socketSettles{1000};

std::uint64_t monotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000 + static_cast<std::uint64_t>(now.tv_nsec) / 1000;
}

} // namespace

SessionLock::SessionLock(Changed changed)
    : changed_(std::move(changed)), state_(unknown), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      lookupRetryDelay_(firstLookupRetry) {
    thread_ = std::thread([this] { run(); });
}

SessionLock::~SessionLock() {
    stopping_ = true;
    std::uint64_t one = 1;
    if (::write(wakeFd_, &one, sizeof one) < 0) {
        // The thread still ends at its next wake-up.
    }
    thread_.join();
    ::close(wakeFd_);
}

std::optional<bool> SessionLock::lockedHint() const {
    int state = state_.load();
    if (state == unknown) return std::nullopt;
    return state != 0;
}

void SessionLock::store(std::optional<bool> locked) {
    int state = locked ? static_cast<int>(*locked) : unknown;
    if (state_.exchange(state) != state && locked && changed_) changed_(*locked);
}

void SessionLock::run() {
    pthread_setname_np(pthread_self(), threadName);
    while (!stopping_) {
        if (!bus_ && !openBus()) {
            waitForBusSocket();
            continue;
        }
        if (lookupRetryAt_ && std::chrono::steady_clock::now() >= *lookupRetryAt_) lookupNeeded_ = true;
        if (lookupNeeded_) lookUpSession();
        int processed = sd_bus_process(bus_, nullptr);
        if (processed < 0) {
            disconnect();
            store(std::nullopt);
            continue;
        }
        if (rereadNeeded_) readLockedHint();
        if (processed == 0) waitForBus();
    }
    disconnect();
}

// Connects to the system bus and listens for logind's name getting an owner and for new sessions, so that a
// logind that starts (or starts again) later, or our session appearing, is an event.
bool SessionLock::openBus() {
    connection_ = BusConnection::open(BusConnection::Kind::system, std::nullopt);
    if (!connection_) return false;
    bus_ = connection_->get();
    auto ownerChanged = [](sd_bus_message* message, void* self, sd_bus_error*) {
        static_cast<SessionLock*>(self)->logindOwnerChanged(message);
        return 0;
    };
    auto sessionNew = [](sd_bus_message*, void* self, sd_bus_error*) {
        auto* watcher = static_cast<SessionLock*>(self);
        if (watcher->sessionPath_.empty()) watcher->lookupNeeded_ = true;
        return 0;
    };
    if (sd_bus_add_match(bus_, &ownerMatch_, logindOwnerMatch().c_str(), +ownerChanged, this) < 0 ||
        sd_bus_add_match(bus_, &sessionNewMatch_, sessionNewMatch().c_str(), +sessionNew, this) < 0) {
        disconnect();
        return false;
    }
    lookupNeeded_ = true;
    lookupRetryDelay_ = firstLookupRetry;
    return true;
}

// Finds our session, follows its property changes, and reads LockedHint once. Without an answer it is tried
// again later, or at once when logind announces a new session or a new logind takes the name.
void SessionLock::lookUpSession() {
    lookupNeeded_ = false;
    lookupRetryAt_.reset();
    const auto session = LogindClient(*connection_, callTimeout).ownSession();
    if (!session) {
        // Without logind the watcher waits for its name instead.
        if (!logindIsAbsent()) scheduleLookupRetry();
        return;
    }
    const std::string& found = session->path;
    auto handler = [](sd_bus_message* message, void* self, sd_bus_error*) {
        static_cast<SessionLock*>(self)->propertiesChanged(message);
        return 0;
    };
    match_ = sd_bus_slot_unref(match_);
    if (sd_bus_match_signal(bus_, &match_, nullptr, found.c_str(), "org.freedesktop.DBus.Properties",
                            "PropertiesChanged", +handler, this) < 0) {
        scheduleLookupRetry();
        return;
    }
    sessionPath_ = found;
    readLockedHint();
}

// Only the bus saying so counts: a bus too slow to answer may well have logind.
bool SessionLock::logindIsAbsent() {
    auto reply = connection_->call({"org.freedesktop.DBus",
                                    "/org/freedesktop/DBus",
                                    "org.freedesktop.DBus",
                                    "NameHasOwner",
                                    {std::string(LogindClient::service)}},
                                   callTimeout);
    int owned = 1;
    return reply.ok() && sd_bus_message_read_basic(reply.message.get(), 'b', &owned) >= 0 && !owned;
}

void SessionLock::scheduleLookupRetry() {
    lookupRetryAt_ = std::chrono::steady_clock::now() + lookupRetryDelay_;
    lookupRetryDelay_ = std::min(lookupRetryDelay_ * 2, longestLookupRetry);
}

int SessionLock::millisecondsUntilLookupRetry() const {
    if (!lookupRetryAt_) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*lookupRetryAt_ - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

// NameOwnerChanged(s name, s old owner, s new owner) of logind's name: a new owner is a logind to ask; none
// means it went, and with it what it said.
void SessionLock::logindOwnerChanged(sd_bus_message* message) {
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) < 0) return;
    match_ = sd_bus_slot_unref(match_);
    sessionPath_.clear();
    lookupRetryAt_.reset();
    lookupRetryDelay_ = firstLookupRetry;
    if (newOwner && *newOwner) {
        lookupNeeded_ = true;
    } else {
        store(std::nullopt);
    }
}

// Waits until the system bus takes a connection: for its socket to appear, trying once more a moment later (a
// daemon makes its socket just before it listens). Returns with the bus open, or when stopping.
void SessionLock::waitForBusSocket() {
    const auto socket = PathAppearance::systemBusSocket();
    std::optional<PathAppearance> appearance;
    if (socket) appearance.emplace(*socket);
    if (!appearance || appearance->descriptor() < 0) {
        // An address without a socket file to watch (abstract or TCP): tried now and then.
        pollfd wake{wakeFd_, POLLIN, 0};
        ::poll(&wake, 1, static_cast<int>(unwatchedBusRetry.count()));
        return;
    }
    // The bus may have come between the failed attempt and the watch.
    if (openBus()) return;
    while (!stopping_) {
        pollfd waits[2] = {{wakeFd_, POLLIN, 0}, {appearance->descriptor(), POLLIN, 0}};
        ::poll(waits, 2, -1);
        if (stopping_ || !appearance->appeared()) continue;
        if (openBus()) return;
        pollfd wake{wakeFd_, POLLIN, 0};
        ::poll(&wake, 1, static_cast<int>(socketSettles.count()));
        if (!stopping_ && openBus()) return;
    }
}

void SessionLock::disconnect() {
    match_ = sd_bus_slot_unref(match_);
    ownerMatch_ = sd_bus_slot_unref(ownerMatch_);
    sessionNewMatch_ = sd_bus_slot_unref(sessionNewMatch_);
    connection_.reset();
    bus_ = nullptr;
    sessionPath_.clear();
    lookupNeeded_ = false;
    lookupRetryAt_.reset();
}

void SessionLock::readLockedHint() {
    rereadNeeded_ = false;
    const auto locked = LogindClient(*connection_, callTimeout).lockedHint({{}, sessionPath_});
    store(locked);
    if (locked) {
        lookupRetryDelay_ = firstLookupRetry;
    } else {
        // Unanswered: the session is looked up and read again later rather than left unknown.
        sessionPath_.clear();
        scheduleLookupRetry();
    }
}

void SessionLock::waitForBus() {
    int events = sd_bus_get_events(bus_);
    std::uint64_t until = UINT64_MAX;
    sd_bus_get_timeout(bus_, &until);
    int timeout = -1;
    if (until != UINT64_MAX) {
        auto now = monotonicMicroseconds();
        timeout = until <= now ? 0 : static_cast<int>(std::min<std::uint64_t>((until - now + 999) / 1000, INT32_MAX));
    }
    if (const int retry = millisecondsUntilLookupRetry(); retry >= 0)
        timeout = timeout < 0 ? retry : std::min(timeout, retry);
    pollfd descriptors[2] = {{sd_bus_get_fd(bus_), static_cast<short>(std::max(events, 0)), 0}, {wakeFd_, POLLIN, 0}};
    ::poll(descriptors, 2, timeout);
}

// PropertiesChanged(s interface, a{sv} changed, as invalidated): LockedHint comes with its value or, when only
// named as invalidated, is read again.
void SessionLock::propertiesChanged(sd_bus_message* message) {
    const char* interface = nullptr;
    if (sd_bus_message_read(message, "s", &interface) < 0 || !interface ||
        std::strcmp(interface, LogindClient::sessionInterface) != 0) {
        return;
    }
    if (sd_bus_message_enter_container(message, 'a', "{sv}") < 0) return;
    while (sd_bus_message_enter_container(message, 'e', "sv") > 0) {
        const char* name = nullptr;
        int locked = 0;
        if (sd_bus_message_read(message, "s", &name) < 0) return;
        if (name && std::strcmp(name, LogindClient::lockedHintProperty) == 0 &&
            sd_bus_message_read(message, "v", "b", &locked) >= 0) {
            store(locked != 0);
        } else if (sd_bus_message_skip(message, "v") < 0) {
            return;
        }
        sd_bus_message_exit_container(message);
    }
    sd_bus_message_exit_container(message);
    char** invalidated = nullptr;
    if (sd_bus_message_read_strv(message, &invalidated) >= 0 && invalidated) {
        for (char** name = invalidated; *name; ++name) {
            if (std::strcmp(*name, LogindClient::lockedHintProperty) == 0) rereadNeeded_ = true;
            std::free(*name);
        }
        std::free(invalidated);
    }
}

std::optional<bool> SessionLock::screenSaverActive(X11Display& display) {
    if (display.isBroken()) return std::nullopt;
    int eventBase = 0;
    int errorBase = 0;
    if (!XScreenSaverQueryExtension(display.get(), &eventBase, &errorBase)) return std::nullopt;
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    if (!info) return std::nullopt;
    std::optional<bool> active;
    if (XScreenSaverQueryInfo(display.get(), display.root(), info)) active = info->state == ScreenSaverOn;
    XFree(info);
    return active;
}

} // namespace orvik::helper
