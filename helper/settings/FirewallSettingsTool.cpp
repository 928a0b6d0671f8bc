#include "settings/FirewallSettingsTool.hpp"

#include "core/Log.hpp"
#include "platform/Subprocess.hpp"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <string_view>

namespace orvik::helper {

std::optional<FirewallSettingsTool> FirewallSettingsTool::find(const std::optional<std::string>& path) {
    static constexpr std::array<std::string_view, 2> candidates{"gufw", "firewall-config"};
    const char* environment = std::getenv("PATH");
    const std::string folders = path ? *path : (environment ? environment : "");
    for (std::string_view name : candidates) {
        std::string_view rest = folders;
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            const std::string_view folder = rest.substr(0, colon);
            rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
            if (folder.empty()) continue;
            const auto candidate = std::filesystem::path(folder) / name;
            if (::access(candidate.c_str(), X_OK) == 0 && !std::filesystem::is_directory(candidate)) {
                return FirewallSettingsTool(candidate);
            }
        }
    }
    return std::nullopt;
}

bool FirewallSettingsTool::open() const {
    const bool started = Subprocess::start(program_, {}, [](int) {});
    if (!started) Log::error("Settings", "Could not start " + program_.string());
    return started;
}

} // namespace orvik::helper
