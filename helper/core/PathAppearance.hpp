#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace orvik::helper {

// Says when a file appears, without looking again and again: an inotify watch on the folder that is to hold it
// (or, while that folder does not exist, on the nearest one above it that does). A file made anew (a daemon's
// socket when the daemon starts again) counts as appearing too. Poll `descriptor()` for reading; then
// `appeared()` takes the pending notices. Not thread-safe: one thread owns it.
class PathAppearance {
public:
    explicit PathAppearance(std::filesystem::path path);
    ~PathAppearance();
    PathAppearance(const PathAppearance&) = delete;
    PathAppearance& operator=(const PathAppearance&) = delete;

    // Readable when something happened in the watched folder; -1 when no watch could be made.
    int descriptor() const { return descriptor_; }
    // Takes the pending notices; true when the file was made (or made anew) meanwhile and exists now.
    bool appeared();

    // The socket file of a D-Bus address ("unix:path=/run/dbus/system_bus_socket;…"): its first unix:path entry,
    // with D-Bus's %XX escapes undone. Absent for addresses of other kinds (abstract sockets, TCP).
    static std::optional<std::filesystem::path> socketOfBusAddress(std::string_view address);
    // The system bus's socket file: from $DBUS_SYSTEM_BUS_ADDRESS, else the standard place.
    static std::optional<std::filesystem::path> systemBusSocket();

private:
    void watchNearest();

    std::filesystem::path path_;
    // The folder now watched: the file's own folder or one above it.
    std::filesystem::path watched_;
    int descriptor_ = -1;
    int watch_ = -1;
};

} // namespace orvik::helper
