#pragma once

#include <optional>
#include <string>

namespace orvik::helper {

// Links that open the matching page of the system's settings. Linux desktops share no such links, so every
// one is absent; the buttons that would open them do nothing, and their windows say what to do instead.
class SystemSettingsLink {
public:
    SystemSettingsLink() = delete;

    static std::optional<std::string> accessibility() { return std::nullopt; }
    static std::optional<std::string> localNetwork() { return std::nullopt; }
    static std::optional<std::string> automation() { return std::nullopt; }
    static std::optional<std::string> firewall() { return std::nullopt; }
    static std::optional<std::string> loginItems() { return std::nullopt; }
    static std::optional<std::string> screenRecording() { return std::nullopt; }
};

} // namespace orvik::helper
