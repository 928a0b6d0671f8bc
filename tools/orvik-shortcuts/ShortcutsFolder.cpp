#include "ShortcutsFolder.hpp"

#include <algorithm>
#include <system_error>
#include <unistd.h>

namespace orvik::tools {

namespace {

constexpr unsigned char firstPrintable = 0x20;
constexpr unsigned char deleteCharacter = 0x7F;

bool isCommandFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && access(path.c_str(), X_OK) == 0;
}

bool isFolder(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

// The valid names of the entries of `folder` that pass `keep`, sorted.
template <class Keep> std::vector<std::string> entries(const std::filesystem::path& folder, Keep keep) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        auto name = entry->path().filename().string();
        if (ShortcutsFolder::isValidName(name) && keep(entry->path())) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

bool ShortcutsFolder::isValidName(std::string_view name) {
    if (name.empty() || name.front() == '.' || name.find('/') != std::string_view::npos) return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < firstPrintable || byte == deleteCharacter;
    });
}

std::vector<std::string> ShortcutsFolder::commandsIn(const std::filesystem::path& folder) const {
    return entries(folder, isCommandFile);
}

std::vector<std::string> ShortcutsFolder::allNames() const {
    auto names = commandsIn(root_);
    for (const auto& folder : folderNames()) {
        const auto inFolder = commandsIn(root_ / folder);
        names.insert(names.end(), inFolder.begin(), inFolder.end());
    }
    return names;
}

std::vector<std::string> ShortcutsFolder::folderNames() const {
    return entries(root_, isFolder);
}

std::optional<std::vector<std::string>> ShortcutsFolder::namesIn(std::string_view folder) const {
    if (!isValidName(folder) || !isFolder(root_ / folder)) return std::nullopt;
    return commandsIn(root_ / folder);
}

std::optional<std::filesystem::path> ShortcutsFolder::command(std::string_view name) const {
    if (!isValidName(name)) return std::nullopt;
    if (isCommandFile(root_ / name)) return root_ / name;
    for (const auto& folder : folderNames()) {
        if (isCommandFile(root_ / folder / name)) return root_ / folder / name;
    }
    return std::nullopt;
}

} // namespace orvik::tools
