#pragma once

#include "server/SystemInfo.hpp"
#include "server/SystemInfoSource.hpp"

#include <memory>

namespace orvik::helper {

// The real host, as SystemInfo asks it: getifaddrs, small system files, gethostname.
class LinuxSystemInfoSource final : public SystemInfoSource {
public:
    std::vector<InterfaceEntry> interfaces() const override;
    std::optional<std::string> readFile(const std::filesystem::path& file) const override;
    std::optional<std::string> hostName() const override;
};

// The process-wide SystemInfo over the real host.
std::shared_ptr<SystemInfo> hostSystemInfo();

} // namespace orvik::helper
