#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace orvik::helper {

// The desktop's firewall settings program, when one is installed: gufw, else firewall-config, looked up in PATH.
class FirewallSettingsTool {
public:
    // Searches `path` (a PATH-style list); the process's PATH when absent.
    static std::optional<FirewallSettingsTool> find(const std::optional<std::string>& path = std::nullopt);

    const std::filesystem::path& program() const { return program_; }
    // Starts it without a shell and returns at once; false when it could not be started.
    bool open() const;

private:
    explicit FirewallSettingsTool(std::filesystem::path program) : program_(std::move(program)) {}

    std::filesystem::path program_;
};

} // namespace orvik::helper
