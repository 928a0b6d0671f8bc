#include "platform/ChildSetup.hpp"

#include "core/XdgPaths.hpp"

#include <csignal>
#include <system_error>

namespace orvik::helper {

std::filesystem::path ChildSetup::workingDirectory() {
    auto home = XdgPaths::home();
    std::error_code error;
    if (std::filesystem::is_directory(home, error)) return home;
    return "/";
}

void ChildSetup::restoreSignalsInChild() noexcept {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
}

} // namespace orvik::helper
