#include "ShortcutsFolder.hpp"

#include "core/UnicodeText.hpp"

#include <unicode/uchar.h>

#include <algorithm>
#include <set>
#include <system_error>
#include <unistd.h>

namespace orvik::tools {

namespace {

namespace fs = std::filesystem;
using helper::UnicodeText;

constexpr UChar32 lineSeparator = 0x2028;
constexpr UChar32 paragraphSeparator = 0x2029;

bool isCommandFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && access(path.c_str(), X_OK) == 0;
}

// A real folder: a link to one is not followed.
bool isFolder(const fs::path& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() == fs::file_type::directory;
}

// What a listing line cannot hold: it would be split there.
bool breaksTheLine(UChar32 c) {
    return u_charType(c) == U_CONTROL_CHAR || c == lineSeparator || c == paragraphSeparator;
}

// What a listing reader trims from the ends of a line.
bool isHorizontalSpace(UChar32 c) {
    return c == '\t' || u_charType(c) == U_SPACE_SEPARATOR;
}

// The valid names of the entries of `folder` that pass `keep`, sorted.
template <class Keep> std::vector<std::string> entries(const fs::path& folder, Keep keep) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        auto name = entry->path().filename().string();
        if (ShortcutsFolder::isValidName(name) && keep(entry->path())) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

bool ShortcutsFolder::isValidName(std::string_view name) {
    if (name.empty() || name.front() == '.' || name.find('/') != std::string_view::npos) return false;
    if (UnicodeText::wellFormed(name) != name) return false;
    const icu::UnicodeString text = UnicodeText::fromUtf8(name);
    for (std::int32_t index = 0; index < text.length(); index = text.moveIndex32(index, 1)) {
        if (breaksTheLine(text.char32At(index))) return false;
    }
    return !isHorizontalSpace(text.char32At(0)) &&
           !isHorizontalSpace(text.char32At(text.moveIndex32(text.length(), -1)));
}

std::vector<ShortcutsFolder::Command> ShortcutsFolder::commands() const {
    std::vector<Command> found;
    std::set<std::string> taken;
    auto add = [&](const fs::path& folder, const std::optional<std::string>& folderName) {
        for (auto& name : entries(folder, isCommandFile)) {
            if (!taken.insert(UnicodeText::nfc(name)).second) continue;
            auto file = folder / name;
            found.push_back({std::move(name), folderName, std::move(file)});
        }
    };
    add(root_, std::nullopt);
    for (const auto& folder : folderNames()) add(root_ / folder, folder);
    return found;
}

std::vector<std::string> ShortcutsFolder::allNames() const {
    std::vector<std::string> names;
    for (auto& found : commands()) names.push_back(std::move(found.name));
    return names;
}

std::vector<std::string> ShortcutsFolder::folderNames() const {
    return entries(root_, isFolder);
}

std::optional<std::vector<std::string>> ShortcutsFolder::namesIn(std::string_view folder) const {
    if (!isValidName(folder) || !isFolder(root_ / folder)) return std::nullopt;
    std::vector<std::string> names;
    for (auto& found : commands()) {
        if (found.folder == folder) names.push_back(std::move(found.name));
    }
    return names;
}

std::optional<fs::path> ShortcutsFolder::command(std::string_view name) const {
    for (auto& found : commands()) {
        if (found.name == name) return std::move(found.file);
    }
    return std::nullopt;
}

} // namespace orvik::tools
