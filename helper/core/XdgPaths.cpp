#include "core/XdgPaths.hpp"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace orvik::helper {
namespace {

constexpr const char* applicationFolder = "orvik-helper";
constexpr mode_t privateDirectoryMode = 0700;

std::filesystem::path fromVariable(const char* name, const std::filesystem::path& fallback) {
    const char* value = std::getenv(name);
    if (value && value[0] == '/') return value;
    return fallback;
}

} // namespace

std::filesystem::path XdgPaths::home() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/";
}

std::filesystem::path XdgPaths::configHome() {
    return fromVariable("XDG_CONFIG_HOME", home() / ".config");
}

std::filesystem::path XdgPaths::dataHome() {
    return fromVariable("XDG_DATA_HOME", home() / ".local" / "share");
}

std::filesystem::path XdgPaths::configDirectory() {
    return configHome() / applicationFolder;
}

std::filesystem::path XdgPaths::dataDirectory() {
    return dataHome() / applicationFolder;
}

bool XdgPaths::ensurePrivateDirectory(const std::filesystem::path& directory) {
    std::filesystem::path partial;
    for (const auto& part : directory) {
        partial /= part;
        if (::mkdir(partial.c_str(), privateDirectoryMode) != 0 && errno != EEXIST) return false;
    }
    struct stat info {};
    if (::stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    if ((info.st_mode & 0777) != privateDirectoryMode) return ::chmod(directory.c_str(), privateDirectoryMode) == 0;
    return true;
}

} // namespace orvik::helper
