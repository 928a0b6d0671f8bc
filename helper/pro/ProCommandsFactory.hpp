#pragma once

#include "pro/AppCataloging.hpp"
#include "pro/ProCommands.hpp"

#include <filesystem>
#include <memory>

namespace orvik::helper {

// The name of the program that lists and runs the user's commands, installed with the app.
inline constexpr std::string_view shortcutsProgramName = "orvik-shortcuts";

// The production pro commands over the given app catalog: the user's commands through the shortcuts program with
// the default waits, links through GIO.
std::shared_ptr<ProCommands> makeProCommands(std::shared_ptr<AppCataloging> apps);

// The shortcuts program beside the running executable when it is there, else where the app installs it.
std::filesystem::path shortcutsExecutable();

} // namespace orvik::helper
