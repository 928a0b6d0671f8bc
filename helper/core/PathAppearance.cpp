#include "core/PathAppearance.hpp"

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <string>

namespace orvik::helper {
namespace {

constexpr std::string_view defaultSystemBus = "unix:path=/run/dbus/system_bus_socket";
constexpr std::string_view unixPathEntry = "unix:";
constexpr std::string_view pathKey = "path=";
constexpr std::uint32_t folderChanges = IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;

int hexValue(char digit) {
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
    return -1;
}

// D-Bus addresses escape bytes as %XX.
std::optional<std::string> unescaped(std::string_view value) {
    std::string text;
    for (std::size_t at = 0; at < value.size(); ++at) {
        if (value[at] != '%') {
            text += value[at];
            continue;
        }
        if (at + 2 >= value.size()) return std::nullopt;
        const int high = hexValue(value[at + 1]);
        const int low = hexValue(value[at + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        text += static_cast<char>(high * 16 + low);
        at += 2;
    }
    return text;
}

} // namespace

PathAppearance::PathAppearance(std::filesystem::path path)
    : path_(std::move(path)), descriptor_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (descriptor_ >= 0) watchNearest();
}

PathAppearance::~PathAppearance() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

void PathAppearance::watchNearest() {
    std::error_code error;
    std::filesystem::path nearest;
    for (auto folder = path_.parent_path(); !folder.empty(); folder = folder.parent_path()) {
        if (std::filesystem::is_directory(folder, error)) {
            nearest = folder;
            break;
        }
        if (folder == folder.root_path()) break;
    }
    if (watch_ >= 0 && nearest == watched_) return;
    // A removed watch sends one last notice (IN_IGNORED) under its own number, which `appeared` passes over.
    if (watch_ >= 0) ::inotify_rm_watch(descriptor_, watch_);
    watch_ = nearest.empty() ? -1 : ::inotify_add_watch(descriptor_, nearest.c_str(), folderChanges);
    watched_ = nearest;
}

bool PathAppearance::appeared() {
    if (descriptor_ < 0) return false;
    // The name below the watched folder on the way to the file: the file itself, or the next folder.
    const std::filesystem::path relative = path_.lexically_relative(watched_);
    const std::string awaited = relative.empty() ? std::string() : relative.begin()->string();
    alignas(inotify_event) std::array<char, 4096> buffer{};
    bool relevant = false;
    for (;;) {
        const ssize_t length = ::read(descriptor_, buffer.data(), buffer.size());
        if (length <= 0) break;
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
            const bool folderGone =
                event->wd == watch_ && (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0;
            if (folderGone || (event->len > 0 && awaited == event->name)) relevant = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (!relevant) return false;
    // The file, or a folder on its way, was made (or the watched folder went): watch the nearest folder again, a
    // deeper one now, and see whether the file is there.
    watchNearest();
    std::error_code error;
    return watched_ == path_.parent_path() && std::filesystem::exists(path_, error);
}

std::optional<std::filesystem::path> PathAppearance::socketOfBusAddress(std::string_view address) {
    while (!address.empty()) {
        const std::size_t end = std::min(address.find(';'), address.size());
        std::string_view entry = address.substr(0, end);
        address.remove_prefix(std::min(end + 1, address.size()));
        if (entry.substr(0, unixPathEntry.size()) != unixPathEntry) continue;
        entry.remove_prefix(unixPathEntry.size());
        while (!entry.empty()) {
            const std::size_t comma = std::min(entry.find(','), entry.size());
            const std::string_view pair = entry.substr(0, comma);
            entry.remove_prefix(std::min(comma + 1, entry.size()));
            if (pair.substr(0, pathKey.size()) != pathKey) continue;
            auto path = unescaped(pair.substr(pathKey.size()));
            if (path && !path->empty()) return std::filesystem::path(*path);
        }
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> PathAppearance::systemBusSocket() {
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    return socketOfBusAddress(address && *address ? std::string_view(address) : defaultSystemBus);
}

} // namespace orvik::helper
