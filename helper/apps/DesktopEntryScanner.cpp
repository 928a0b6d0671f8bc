#include "apps/DesktopEntryScanner.hpp"

#include "apps/NameCollation.hpp"
#include "core/UnicodeText.hpp"
#include "core/XdgPaths.hpp"

#include "apps/KeyFileLists.hpp"

#include <glib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <set>
#include <string_view>

namespace orvik::helper {
namespace {

namespace fs = std::filesystem;

constexpr const char* group = "Desktop Entry";
// Folders deeper than this below an application folder are not searched (a link loop ends here too).
constexpr int maxFolderDepth = 8;

std::optional<std::string> text(GKeyFile* file, const char* key, bool localized = false) {
    gchar* value = localized ? g_key_file_get_locale_string(file, group, key, nullptr, nullptr)
                             : g_key_file_get_string(file, group, key, nullptr);
    if (!value) return std::nullopt;
    std::string result(value);
    g_free(value);
    return result;
}

bool flag(GKeyFile* file, const char* key) {
    return g_key_file_get_boolean(file, group, key, nullptr) != FALSE;
}

std::vector<std::string> split(std::string_view value, char separator) {
    std::vector<std::string> parts;
    while (!value.empty()) {
        const auto end = value.find(separator);
        if (end != 0) parts.emplace_back(value.substr(0, end));
        if (end == std::string_view::npos) break;
        value.remove_prefix(end + 1);
    }
    return parts;
}

bool sharesAny(const std::vector<std::string>& left, const std::vector<std::string>& right) {
    return std::any_of(left.begin(), left.end(), [&right](const std::string& item) {
        return std::find(right.begin(), right.end(), item) != right.end();
    });
}

bool isExecutable(const fs::path& file) {
    std::error_code error;
    return fs::is_regular_file(file, error) && ::access(file.c_str(), X_OK) == 0;
}

bool programExists(const std::string& program, const std::vector<fs::path>& searchPath) {
    if (program.find('/') != std::string::npos) return isExecutable(program);
    return std::any_of(searchPath.begin(), searchPath.end(),
                       [&program](const fs::path& folder) { return isExecutable(folder / program); });
}

// The program of an Exec line: its first word, unquoted, without folders.
std::string programName(const std::string& exec) {
    gint count = 0;
    gchar** words = nullptr;
    if (!g_shell_parse_argv(exec.c_str(), &count, &words, nullptr)) return {};
    std::string program = count > 0 ? fs::path(words[0]).filename().string() : std::string();
    g_strfreev(words);
    return program;
}

std::vector<fs::path> pathsOf(const char* variable, const std::vector<fs::path>& fallback) {
    const char* value = std::getenv(variable);
    std::vector<fs::path> result;
    for (const auto& part : split(value ? value : "", ':')) {
        if (fs::path(part).is_absolute()) result.emplace_back(part);
    }
    return result.empty() ? fallback : result;
}

// The entry of a loaded key file under the listing rules; absent when it is not to be listed.
std::optional<DesktopEntry> listed(GKeyFile* keys, const DesktopEntryScanner::Context& context) {
    if (text(keys, "Type") != "Application") return std::nullopt;
    if (flag(keys, "NoDisplay") || flag(keys, "Hidden")) return std::nullopt;
    const auto onlyShowIn = keyFileList(keys, group, "OnlyShowIn");
    if (!onlyShowIn.empty() && !sharesAny(onlyShowIn, context.desktops)) return std::nullopt;
    if (sharesAny(keyFileList(keys, group, "NotShowIn"), context.desktops)) return std::nullopt;
    const auto tryExec = text(keys, "TryExec");
    if (tryExec && !tryExec->empty() && !programExists(*tryExec, context.searchPath)) return std::nullopt;
    auto name = text(keys, "Name", true);
    if (!name || name->empty()) return std::nullopt;

    DesktopEntry entry;
    entry.name = UnicodeText::wellFormed(*name);
    entry.version = UnicodeText::wellFormed(text(keys, "X-AppVersion").value_or(""));
    entry.icon = text(keys, "Icon").value_or("");
    entry.startupWMClass = text(keys, "StartupWMClass").value_or("");
    entry.program = programName(text(keys, "Exec").value_or(""));
    return entry;
}

// Desktop files below `folder`, with their ids, in name order.
void collect(const fs::path& folder, const std::string& prefix, int depth,
             std::vector<std::pair<std::string, fs::path>>& found) {
    std::error_code error;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        entries.push_back(*it);
    }
    std::sort(entries.begin(), entries.end());
    for (const auto& entry : entries) {
        const auto name = entry.path().filename().string();
        if (entry.is_directory(error)) {
            if (depth < maxFolderDepth) collect(entry.path(), prefix + name + "-", depth + 1, found);
        } else if (entry.path().extension() == ".desktop") {
            found.emplace_back(prefix + name, entry.path());
        }
    }
}

} // namespace

std::vector<fs::path> DesktopEntryScanner::defaultFolders() {
    std::vector<fs::path> folders{XdgPaths::dataHome() / "applications"};
    for (const auto& base : pathsOf("XDG_DATA_DIRS", {"/usr/local/share", "/usr/share"})) {
        folders.push_back(base / "applications");
    }
    return folders;
}

DesktopEntryScanner::Context DesktopEntryScanner::currentContext() {
    const char* desktops = std::getenv("XDG_CURRENT_DESKTOP");
    return {split(desktops ? desktops : "", ':'), pathsOf("PATH", {"/usr/local/bin", "/usr/bin", "/bin"}),
            NameCollation::currentLocale()};
}

std::optional<DesktopEntry> DesktopEntryScanner::read(const fs::path& file, const Context& context) {
    KeyFile keys(g_key_file_new());
    if (!g_key_file_load_from_file(keys.get(), file.c_str(), G_KEY_FILE_NONE, nullptr)) return std::nullopt;
    auto entry = listed(keys.get(), context);
    if (entry) entry->file = file;
    return entry;
}

std::optional<DesktopEntry> DesktopEntryScanner::parse(std::string_view contents, const Context& context) {
    KeyFile keys(g_key_file_new());
    if (!g_key_file_load_from_data(keys.get(), contents.data(), contents.size(), G_KEY_FILE_NONE, nullptr)) {
        return std::nullopt;
    }
    return listed(keys.get(), context);
}

std::vector<DesktopEntry> DesktopEntryScanner::scan(const std::vector<fs::path>& folders, const Context& context) {
    std::set<std::string> seen;
    std::vector<DesktopEntry> entries;
    for (const auto& folder : folders) {
        std::vector<std::pair<std::string, fs::path>> found;
        collect(folder, {}, 0, found);
        for (auto& [rawID, file] : found) {
            auto id = UnicodeText::nfc(rawID);
            // The first file of an id hides every later one, also when it is not listed itself.
            if (!seen.insert(id).second) continue;
            auto entry = read(file, context);
            if (!entry) continue;
            entry->id = std::move(id);
            entries.push_back(std::move(*entry));
        }
    }
    NameCollation(context.collationLocale).sort(entries);
    return entries;
}

} // namespace orvik::helper
