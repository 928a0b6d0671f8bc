#include "platform/ChildSetup.hpp"

#include "core/XdgPaths.hpp"

#include <system_error>

namespace orvik::helper {

std::filesystem::path ChildSetup::workingDirectory() {
    auto home = XdgPaths::home();
    std::error_code error;
    if (std::filesystem::is_directory(home, error)) return home;
    return "/";
}

} // namespace orvik::helper
