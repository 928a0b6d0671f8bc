// orvik-shortcuts: lists and runs the user's own commands, the executable files in
// $XDG_CONFIG_HOME/orvik-helper/shortcuts/ (a sub-folder is a folder of commands).
//
//   orvik-shortcuts list                   every command's name, one a line
//   orvik-shortcuts list --folders         every folder's name
//   orvik-shortcuts list --folder-name F   the names in folder F
//   orvik-shortcuts run -- NAME            runs the command NAME and exits with its status
//
// A command is run by its exact name, without arguments and never through a shell.
#include "ShortcutsFolder.hpp"
#include "core/XdgPaths.hpp"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int usageStatus = 2;
constexpr int failureStatus = 1;
// As shells report a command found but not executable.
constexpr int cannotExecuteStatus = 126;

int print(const std::vector<std::string>& names) {
    for (const auto& name : names) std::cout << name << '\n';
    std::cout.flush();
    return std::cout ? 0 : failureStatus;
}

int usage() {
    std::cerr << "usage: orvik-shortcuts list [--folders | --folder-name FOLDER] | run -- NAME\n";
    return usageStatus;
}

int run(const orvik::tools::ShortcutsFolder& folder, const std::string& name) {
    const auto command = folder.command(name);
    if (!command) {
        std::cerr << "orvik-shortcuts: no such command\n";
        return failureStatus;
    }
    const std::string path = command->string();
    std::vector<char*> argv{const_cast<char*>(path.c_str()), nullptr}; // NOLINT(cppcoreguidelines-pro-type-const-cast)
    execv(path.c_str(), argv.data());
    std::cerr << "orvik-shortcuts: cannot run the command: " << std::strerror(errno) << '\n';
    return cannotExecuteStatus;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const orvik::tools::ShortcutsFolder folder(orvik::helper::XdgPaths::configDirectory() / "shortcuts");
    if (arguments == std::vector<std::string>{"list"}) return print(folder.allNames());
    if (arguments == std::vector<std::string>{"list", "--folders"}) return print(folder.folderNames());
    if (arguments.size() == 3 && arguments[0] == "list" && arguments[1] == "--folder-name") {
        const auto names = folder.namesIn(arguments[2]);
        if (!names) {
            std::cerr << "orvik-shortcuts: no such folder\n";
            return failureStatus;
        }
        return print(*names);
    }
    if (arguments.size() == 3 && arguments[0] == "run" && arguments[1] == "--") return run(folder, arguments[2]);
    return usage();
}
