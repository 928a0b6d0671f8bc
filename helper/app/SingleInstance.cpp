#include "app/SingleInstance.hpp"

#include "core/Log.hpp"
#include "core/XdgPaths.hpp"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>
#include <vector>

namespace orvik::helper {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::string_view logCategory = "App";
constexpr std::string_view answer = "ok\n";
constexpr int listenBacklog = 8;
// Between two looks at a lock whose holder is not answering yet (starting, or ending).
constexpr std::chrono::milliseconds retryPause{50};
constexpr int lockHeldElsewhere = -2;
// In the settings folder, which is the user's alone: no other settings folder's helper listens there.
constexpr const char* settingsSocketName = "instance.socket";

std::uint32_t fnv1a(std::string_view text) {
    std::uint32_t hash = 2166136261U;
    for (const char byte : text) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 16777619U;
    }
    return hash;
}

struct Place {
    const fs::path& path;
    int flags;
    std::string_view what;
};

// One place's lock: its descriptor, lockHeldElsewhere, or -1 when it cannot be had there (logged when `report`).
int lockPlace(const Place& place, bool report) {
    const auto failed = [&](std::string_view step, int error) {
        if (!report) return;
        Log::notice(logCategory, std::string(step) + " " + std::string(place.what) + " " + place.path.string() +
                                     " failed: " + std::string(std::strerror(error)));
    };
    const int descriptor = ::open(place.path.c_str(), place.flags | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        failed("Opening", errno);
        return -1;
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0) return descriptor;
    const int error = errno;
    ::close(descriptor);
    if (error == EWOULDBLOCK) return lockHeldElsewhere;
    failed("Locking", error);
    return -1;
}

struct Locks {
    std::vector<int> held;
    bool heldElsewhere = false;
};

// Every place that can be locked, always in the same order, so that two starts never each hold one of them.
// Nothing is held when one is held elsewhere.
Locks takeLocks(const SingleInstance::Paths& paths, bool report) {
    // The folder opens read-only: its lock needs no write access to it.
    const std::array places{Place{paths.settings, O_RDONLY | O_DIRECTORY, "the settings folder"},
                            Place{paths.runtimeLock, O_RDWR | O_CREAT, "the instance lock"}};
    Locks locks;
    for (const auto& place : places) {
        if (place.path.empty()) continue;
        const int lock = lockPlace(place, report);
        if (lock == lockHeldElsewhere) {
            for (const int held : locks.held) ::close(held);
            return {{}, true};
        }
        if (lock >= 0) locks.held.push_back(lock);
    }
    return locks;
}

// A socket's address holds its path and the terminating zero.
constexpr std::size_t longestSocketPath = sizeof(sockaddr_un::sun_path) - 1;

bool fitsAnAddress(const fs::path& path) {
    return path.string().size() <= longestSocketPath;
}

bool addressOf(const fs::path& path, sockaddr_un& address) {
    if (!fitsAnAddress(path)) return false;
    address = {};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return true;
}

std::string tooLongReason(const fs::path& path) {
    return "its path is " + std::to_string(path.string().size()) + " bytes long and a socket address holds " +
           std::to_string(longestSocketPath);
}

// Listens on the first socket that can be made there, or on none (-1); `socket` receives its path.
int listenAt(const std::vector<fs::path>& places, fs::path& socket) {
    std::string failures;
    for (const auto& path : places) {
        sockaddr_un address;
        if (!addressOf(path, address)) {
            // Otherwise a later start with another runtime folder waits for an answer that cannot come.
            Log::error(logCategory, "The instance socket " + path.string() + " cannot be made: " + tooLongReason(path) +
                                        ". Later starts reach this helper only through its runtime folder.");
            continue;
        }
        const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (listener < 0) {
            failures += std::string(" ") + std::strerror(errno) + ";";
            break;
        }
        // Left behind by one that crashed: this process holds the lock, so nobody else listens there.
        ::unlink(path.c_str());
        if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(listener, listenBacklog) == 0) {
            socket = path;
            return listener;
        }
        failures += " " + path.string() + ": " + std::strerror(errno) + ";";
        ::close(listener);
    }
    if (failures.empty()) failures = " no socket path fits;";
    failures.pop_back();
    Log::error(logCategory, "Listening for later starts failed:" + failures);
    return -1;
}

// Once per later start: it keeps asking the others until the running helper answers.
void reportUnreachable(const std::vector<fs::path>& places) {
    for (const auto& path : places) {
        if (fitsAnAddress(path)) continue;
        Log::error(logCategory,
                   "The running helper cannot be asked through " + path.string() + ": " + tooLongReason(path) + ".");
    }
}

// Connects to the running helper and waits for its answer until `deadline`.
bool askRunning(const fs::path& path, Clock::time_point deadline) {
    sockaddr_un address;
    if (!addressOf(path, address)) return false;
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0) return false;
    bool answered = false;
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        std::array<char, 8> reply{};
        std::size_t received = 0;
        while (received < answer.size() && Clock::now() < deadline) {
            pollfd readable{socket, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (::poll(&readable, 1, static_cast<int>(std::max<long>(left.count(), 0))) <= 0) break;
            const ssize_t read = ::read(socket, reply.data() + received, answer.size() - received);
            if (read <= 0) break;
            received += static_cast<std::size_t>(read);
        }
        answered = std::string_view(reply.data(), received) == answer;
    }
    ::close(socket);
    return answered;
}

// The socket's folder keeps other users out; should it let one in all the same (a folder shared on purpose), that
// one brings nothing forward.
bool startedByThisUser(int connection) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

} // namespace

SingleInstance::Paths SingleInstance::Paths::of(const fs::path& settings, const fs::path& runtime) {
    Paths paths{settings, {}, {settings / settingsSocketName}};
    if (runtime.empty()) return paths;
    char name[32];
    std::snprintf(name, sizeof name, "orvik-helper-%08x", fnv1a(settings.string()));
    const std::string stem = name;
    paths.runtimeLock = runtime / (stem + ".lock");
    paths.sockets.push_back(runtime / (stem + ".socket"));
    return paths;
}

SingleInstance::Paths SingleInstance::Paths::standard() {
    XdgPaths::ensurePrivateDirectory(XdgPaths::configDirectory());
    // One name for one folder, however it is spelt (a link to it, say).
    std::error_code error;
    fs::path settings = fs::weakly_canonical(XdgPaths::configDirectory(), error);
    if (error) settings = XdgPaths::configDirectory();
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const bool hasRuntime = runtime && fs::path(runtime).is_absolute();
    return of(settings, hasRuntime ? fs::path(runtime) : fs::path());
}

SingleInstance::Start SingleInstance::claim(const Paths& paths, std::unique_ptr<SingleInstance>& instance,
                                            std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (bool firstLook = true;; firstLook = false) {
        auto locks = takeLocks(paths, firstLook);
        if (!locks.heldElsewhere) {
            if (locks.held.empty()) return Start::noLock;
            fs::path socket;
            const int listener = listenAt(paths.sockets, socket);
            instance.reset(new SingleInstance(std::move(locks.held), listener, std::move(socket)));
            return Start::first;
        }
        if (firstLook) reportUnreachable(paths.sockets);
        // The holder may be starting (not listening yet) or ending (no longer listening): look again.
        for (const auto& socket : paths.sockets) {
            if (askRunning(socket, deadline)) return Start::handedOver;
        }
        if (Clock::now() >= deadline) return Start::noAnswer;
        std::this_thread::sleep_for(retryPause);
    }
}

SingleInstance::SingleInstance(std::vector<int> locks, int listener, std::filesystem::path socket)
    : locks_(std::move(locks)), listener_(listener), socket_(std::move(socket)) {}

SingleInstance::~SingleInstance() {
    if (listener_ >= 0) {
        ::close(listener_);
        // Before the lock goes: the next holder then finds no socket of ours.
        ::unlink(socket_.c_str());
    }
    for (const int lock : locks_) ::close(lock);
}

void SingleInstance::onLaterStart(std::function<void()> bringForward) {
    bringForward_ = std::move(bringForward);
    if (listener_ < 0 || notifier_) return;
    notifier_ = new QSocketNotifier(listener_, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier_, &QSocketNotifier::activated, [this] { answerLaterStart(); });
}

void SingleInstance::answerLaterStart() {
    std::vector<int> asking;
    for (int connection; (connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0;) {
        if (startedByThisUser(connection)) {
            asking.push_back(connection);
        } else {
            ::close(connection);
        }
    }
    if (asking.empty()) return;
    if (bringForward_) bringForward_();
    for (const int connection : asking) {
        [[maybe_unused]] const ssize_t sent = ::send(connection, answer.data(), answer.size(), MSG_NOSIGNAL);
        ::close(connection);
    }
}

} // namespace orvik::helper
