#include "pro/ProCommandsFactory.hpp"

#include "pro/CLIShortcuts.hpp"
#include "pro/GioURLOpener.hpp"

#include <system_error>
#include <unistd.h>

namespace orvik::helper {

std::shared_ptr<ProCommands> makeProCommands(std::shared_ptr<AppCataloging> apps) {
    auto opener = std::make_shared<GioURLOpener>();
    auto shortcuts = std::make_shared<CLIShortcuts>(shortcutsExecutable(), opener);
    return std::make_shared<ProCommands>(std::move(apps), std::move(shortcuts), std::move(opener));
}

std::filesystem::path shortcutsExecutable() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        auto beside = self.parent_path() / shortcutsProgramName;
        if (access(beside.c_str(), X_OK) == 0) return beside;
    }
    return std::filesystem::path(ORVIK_INSTALL_BINDIR) / shortcutsProgramName;
}

} // namespace orvik::helper
