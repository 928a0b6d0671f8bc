#pragma once

#include "model/LoginItem.hpp"

#include <filesystem>
#include <string>

namespace orvik::helper {

// Launch at login through an XDG autostart entry, $XDG_CONFIG_HOME/autostart/orvik-helper.desktop. The entry
// counts as enabled only when it starts this very binary: it exists, is not Hidden, is not switched off for
// GNOME, and its Exec names the binary by absolute path. Disabling deletes that one file and nothing else.
class XdgLoginItem : public LoginItem {
public:
    static constexpr std::string_view entryName = "orvik-helper.desktop";

    // The binary the entry starts; by default this process's own executable.
    explicit XdgLoginItem(std::filesystem::path binary = currentExecutable());

    bool isEnabled() const override;
    std::optional<std::string> setEnabled(bool enabled) override;

    // Where the entry lives, after the current environment.
    static std::filesystem::path entryPath();
    // The entry's text for a binary (the installed template with its Exec filled in).
    static std::string entryContents(const std::filesystem::path& binary);

private:
    static std::filesystem::path currentExecutable();

    std::filesystem::path binary_;
};

} // namespace orvik::helper
