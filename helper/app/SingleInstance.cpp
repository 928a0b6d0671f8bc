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

std::uint32_t fnv1a(std::string_view text) {
    std::uint32_t hash = 2166136261U;
    for (const char byte : text) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 16777619U;
    }
    return hash;
}

// The held lock's descriptor; lockHeldElsewhere; or -1 when no lock can be had here (a folder that cannot be
// written), which lets this start run as it would have without one.
int takeLock(const fs::path& path) {
    const int file = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (file < 0) {
        Log::error(logCategory, "Opening the instance lock failed: " + std::string(std::strerror(errno)));
        return -1;
    }
    if (::flock(file, LOCK_EX | LOCK_NB) == 0) return file;
    const int error = errno;
    ::close(file);
    if (error == EWOULDBLOCK) return lockHeldElsewhere;
    Log::error(logCategory, "Taking the instance lock failed: " + std::string(std::strerror(error)));
    return -1;
}

bool addressOf(const fs::path& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return true;
}

int listenAt(const fs::path& path) {
    sockaddr_un address;
    if (!addressOf(path, address)) {
        Log::error(logCategory, "The instance socket's path is too long: " + path.string());
        return -1;
    }
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener < 0) return -1;
    // Left behind by one that crashed: this process holds the lock, so nobody else listens there.
    ::unlink(path.c_str());
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, listenBacklog) != 0) {
        Log::error(logCategory, "Listening for later starts failed: " + std::string(std::strerror(errno)));
        ::close(listener);
        return -1;
    }
    return listener;
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

} // namespace

SingleInstance::Paths SingleInstance::Paths::standard() {
    XdgPaths::ensurePrivateDirectory(XdgPaths::configDirectory());
    // One name for one folder, however it is spelt (a link to it, say).
    std::error_code error;
    fs::path settings = fs::weakly_canonical(XdgPaths::configDirectory(), error);
    if (error) settings = XdgPaths::configDirectory();
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const fs::path runtimeFolder = runtime && fs::path(runtime).is_absolute() ? fs::path(runtime) : settings;
    char name[32];
    std::snprintf(name, sizeof name, "orvik-helper-%08x.socket", fnv1a(settings.string()));
    return {settings / "instance.lock", runtimeFolder / name};
}

SingleInstance::Start SingleInstance::claim(const Paths& paths, std::unique_ptr<SingleInstance>& instance,
                                            std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (true) {
        const int lock = takeLock(paths.lock);
        if (lock != lockHeldElsewhere) {
            instance.reset(new SingleInstance(lock, listenAt(paths.socket), paths.socket));
            return Start::first;
        }
        // The holder may be starting (not listening yet) or ending (no longer listening): look again.
        if (askRunning(paths.socket, deadline)) return Start::handedOver;
        if (Clock::now() >= deadline) return Start::noAnswer;
        std::this_thread::sleep_for(retryPause);
    }
}

SingleInstance::SingleInstance(int lock, int listener, std::filesystem::path socket)
    : lock_(lock), listener_(listener), socket_(std::move(socket)) {}

SingleInstance::~SingleInstance() {
    if (listener_ >= 0) {
        ::close(listener_);
        // Before the lock goes: the next holder then finds no socket of ours.
        ::unlink(socket_.c_str());
    }
    if (lock_ >= 0) ::close(lock_);
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
        asking.push_back(connection);
    }
    if (asking.empty()) return;
    if (bringForward_) bringForward_();
    for (const int connection : asking) {
        [[maybe_unused]] const ssize_t sent = ::send(connection, answer.data(), answer.size(), MSG_NOSIGNAL);
        ::close(connection);
    }
}

} // namespace orvik::helper
