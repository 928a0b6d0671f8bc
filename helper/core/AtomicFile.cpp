#include "core/AtomicFile.hpp"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <system_error>
#include <utility>

namespace orvik::helper {
namespace {

constexpr std::string_view temporaryMarker = ".tmp-";
constexpr std::string_view asideMarker = ".corrupt-";
constexpr int maxAsideAttempts = 100;

std::string lastError(std::string_view step) {
    return std::string(step) + ": " + std::strerror(errno);
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        contents.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::filesystem::path temporaryPath(const std::filesystem::path& file) {
    static std::atomic<unsigned> counter{0};
    auto name = file.filename().string();
    name += temporaryMarker;
    name += std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
    return file.parent_path() / name;
}

std::filesystem::path directoryOf(const std::filesystem::path& file) {
    auto parent = file.parent_path();
    return parent.empty() ? std::filesystem::path(".") : parent;
}

bool syncDirectory(const std::filesystem::path& directory) {
    FileDescriptor fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) return false;
    return ::fsync(fd.get()) == 0;
}

std::string utcStamp() {
    std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm parts{};
    ::gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
    return text;
}

} // namespace

AtomicFile::ReadResult AtomicFile::read(const std::filesystem::path& file) {
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) return {ReadResult::Status::missing, {}, {}};
        return {ReadResult::Status::failed, {}, lastError("open")};
    }
    std::string contents;
    char buffer[8192];
    for (;;) {
        ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) continue;
            return {ReadResult::Status::failed, {}, lastError("read")};
        }
        if (count == 0) break;
        contents.append(buffer, static_cast<std::size_t>(count));
    }
    return {ReadResult::Status::contents, std::move(contents), {}};
}

std::optional<std::string> AtomicFile::replace(const std::filesystem::path& file, std::string_view contents,
                                               mode_t mode) {
    auto temporary = temporaryPath(file);
    constexpr int createFlags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
    FileDescriptor fd(::open(temporary.c_str(), createFlags, mode));
    if (fd.get() < 0 && errno == EEXIST) {
        // Left by a killed process that had the same pid; it is ours to replace.
        ::unlink(temporary.c_str());
        fd = FileDescriptor(::open(temporary.c_str(), createFlags, mode));
    }
    if (fd.get() < 0) return lastError("create");
    std::optional<std::string> failure;
    // The mode given to open is filtered by the umask; the file must end up with exactly this mode.
    if (::fchmod(fd.get(), mode) != 0) failure = lastError("chmod");
    if (!failure && !writeAll(fd.get(), contents)) failure = lastError("write");
    if (!failure && ::fsync(fd.get()) != 0) failure = lastError("fsync");
    if (!fd.close() && !failure) failure = lastError("close");
    if (!failure && ::rename(temporary.c_str(), file.c_str()) != 0) failure = lastError("rename");
    if (failure) {
        ::unlink(temporary.c_str());
        return failure;
    }
    // The new file is in place either way; a folder that cannot be flushed only weakens the rename's survival of
    // a power cut, so it is not reported as a failed write.
    syncDirectory(directoryOf(file));
    return std::nullopt;
}

std::optional<std::filesystem::path> AtomicFile::moveAside(const std::filesystem::path& file) {
    auto base = file.filename().string() + std::string(asideMarker) + utcStamp();
    for (int attempt = 0; attempt < maxAsideAttempts; ++attempt) {
        auto name = attempt == 0 ? base : base + "-" + std::to_string(attempt);
        auto aside = file.parent_path() / name;
        // Never replaces an earlier copy kept aside; file systems without RENAME_NOREPLACE get a checked rename.
        int result = ::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE);
        if (result != 0 && errno == EINVAL) {
            if (::access(aside.c_str(), F_OK) == 0) continue;
            result = ::rename(file.c_str(), aside.c_str());
        }
        if (result == 0) {
            syncDirectory(directoryOf(file));
            return aside;
        }
        if (errno != EEXIST) break;
    }
    return std::nullopt;
}

void AtomicFile::removeLeftovers(const std::filesystem::path& file) {
    auto prefix = file.filename().string() + std::string(temporaryMarker);
    std::error_code error;
    std::filesystem::directory_iterator entries(directoryOf(file), error);
    if (error) return;
    // The non-throwing increment: a folder that fails mid-listing must not break loading the settings.
    for (auto end = std::filesystem::directory_iterator(); !error && entries != end; entries.increment(error)) {
        std::error_code removeError;
        if (entries->path().filename().string().starts_with(prefix))
            std::filesystem::remove(entries->path(), removeError);
    }
}

} // namespace orvik::helper
