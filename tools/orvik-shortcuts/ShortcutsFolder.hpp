#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvik::tools {

// The user's commands: the executable files of one folder, each of its sub-folders being a folder of commands
// (one level: deeper folders are not looked into). Links to files are followed; links to folders are not, so a
// link cannot lead out of the folder or back into it. Hidden entries and names that one line of a listing cannot
// carry unchanged are not commands.
//
// Each name stands for one file: the phone runs a command by its name alone, so a name that an earlier command
// already has (the same in Unicode NFC) is left out. Commands at the top come first, then each folder's in folder
// order, each part sorted by name.
class ShortcutsFolder {
public:
    struct Command {
        std::string name;
        // Absent at the top.
        std::optional<std::string> folder;
        std::filesystem::path file;
    };

    explicit ShortcutsFolder(std::filesystem::path root) : root_(std::move(root)) {}

    // Whether a name from outside can stand for an entry of the folder and travel as one line: not empty, no "/",
    // not hidden (so not "." or ".."), well-formed UTF-8 without control characters or line separators, no white
    // space at either end.
    static bool isValidName(std::string_view name);

    std::vector<Command> commands() const;

    std::vector<std::string> allNames() const;
    std::vector<std::string> folderNames() const;
    // The names whose command lies in the folder; absent when there is no such folder.
    std::optional<std::vector<std::string>> namesIn(std::string_view folder) const;
    // The file of the command with exactly this name; absent when none has it.
    std::optional<std::filesystem::path> command(std::string_view name) const;

private:
    std::filesystem::path root_;
};

} // namespace orvik::tools
