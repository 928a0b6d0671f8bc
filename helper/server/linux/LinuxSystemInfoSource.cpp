#include "server/linux/LinuxSystemInfoSource.hpp"

#include <ifaddrs.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <memory>

namespace orvik::helper {
namespace {

// System files read here are a few bytes long; anything longer is cut, never read whole.
constexpr std::size_t maxFileSize = 64 * 1024;

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

} // namespace

std::shared_ptr<SystemInfo> hostSystemInfo() {
    static auto instance = std::make_shared<SystemInfo>(std::make_shared<LinuxSystemInfoSource>());
    return instance;
}

std::vector<InterfaceEntry> LinuxSystemInfoSource::interfaces() const {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0 || list == nullptr) return {};
    std::vector<InterfaceEntry> entries;
    for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        entries.push_back(
            {entry->ifa_name ? entry->ifa_name : "", entry->ifa_flags, SocketAddress::copy(entry->ifa_addr)});
    }
    ::freeifaddrs(list);
    return entries;
}

std::optional<std::string> LinuxSystemInfoSource::readFile(const std::filesystem::path& file) const {
    // "e" opens it close-on-exec, which std::ifstream cannot ask for.
    std::unique_ptr<FILE, FileCloser> stream(std::fopen(file.c_str(), "rbe"));
    if (!stream) return std::nullopt;
    std::string contents(maxFileSize, '\0');
    const std::size_t count = std::fread(contents.data(), 1, contents.size(), stream.get());
    if (std::ferror(stream.get())) return std::nullopt;
    contents.resize(count);
    return contents;
}

std::optional<std::string> LinuxSystemInfoSource::hostName() const {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return std::nullopt;
    return std::string(name);
}

} // namespace orvik::helper
