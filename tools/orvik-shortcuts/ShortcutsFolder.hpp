#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvik::tools {

// The user's commands: the executable files of one folder, each of its sub-folders being a folder of commands.
// Hidden entries and names a line-based listing cannot carry (control characters) are not commands.
class ShortcutsFolder {
public:
    explicit ShortcutsFolder(std::filesystem::path root) : root_(std::move(root)) {}

    // Whether a name from outside can stand for an entry of the folder: not empty, no "/", not "." or "..", not
    // hidden, no control characters.
    static bool isValidName(std::string_view name);

    // Every command, those at the top first, then each folder's in folder order; each part sorted by name.
    std::vector<std::string> allNames() const;
    std::vector<std::string> folderNames() const;
    // Absent when there is no such folder.
    std::optional<std::vector<std::string>> namesIn(std::string_view folder) const;
    // The command's file, looked up at the top first, then in the folders in order; absent when none has it.
    std::optional<std::filesystem::path> command(std::string_view name) const;

private:
    std::vector<std::string> commandsIn(const std::filesystem::path& folder) const;

    std::filesystem::path root_;
};

} // namespace orvik::tools
