#include "apps/IconTheme.hpp"

#include "core/XdgPaths.hpp"

#include "apps/KeyFileLists.hpp"

#include <glib.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>

namespace orvik::helper {
namespace {

namespace fs = std::filesystem;

constexpr const char* fallbackTheme = "hicolor";
constexpr const char* extensions[] = {".png", ".svg", ".xpm"};
// Inheritance chains longer than this are taken as a loop.
constexpr std::size_t maxInheritedThemes = 16;

struct KeyFileDeleter {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;

int integer(GKeyFile* file, const char* group, const char* key, int fallback) {
    GError* error = nullptr;
    const int value = g_key_file_get_integer(file, group, key, &error);
    if (error) {
        g_error_free(error);
        return fallback;
    }
    return value;
}

std::string text(GKeyFile* file, const char* group, const char* key) {
    gchar* value = g_key_file_get_string(file, group, key, nullptr);
    std::string result = value ? value : "";
    g_free(value);
    return result;
}

// How far a theme directory's icons are from `size` (0: they fit).
int distance(GKeyFile* index, const char* directory, int size) {
    const int nominal = integer(index, directory, "Size", 0);
    const auto type = text(index, directory, "Type");
    if (type == "Scalable" || type == "Fixed") {
        const int low = type == "Fixed" ? nominal : integer(index, directory, "MinSize", nominal);
        const int high = type == "Fixed" ? nominal : integer(index, directory, "MaxSize", nominal);
        if (size < low) return low - size;
        return size > high ? size - high : 0;
    }
    const int threshold = integer(index, directory, "Threshold", 2);
    if (size < nominal - threshold) return nominal - threshold - size;
    return size > nominal + threshold ? size - nominal - threshold : 0;
}

std::optional<fs::path> fileIn(const fs::path& folder, const std::string& icon) {
    for (const char* extension : extensions) {
        std::error_code error;
        auto file = folder / (icon + extension);
        if (fs::is_regular_file(file, error)) return file;
    }
    return std::nullopt;
}

std::vector<fs::path> dataFolders() {
    std::vector<fs::path> folders{XdgPaths::dataHome()};
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string value = dirs && *dirs ? dirs : "/usr/local/share:/usr/share";
    for (std::size_t start = 0; start <= value.size();) {
        const auto end = std::min(value.find(':', start), value.size());
        fs::path folder = value.substr(start, end - start);
        if (folder.is_absolute()) folders.push_back(folder);
        start = end + 1;
    }
    return folders;
}

// The GTK settings file's theme, for desktops without a settings daemon.
std::optional<std::string> gtkSettingsTheme() {
    KeyFile settings(g_key_file_new());
    const auto file = XdgPaths::configHome() / "gtk-3.0" / "settings.ini";
    if (!g_key_file_load_from_file(settings.get(), file.c_str(), G_KEY_FILE_NONE, nullptr)) return std::nullopt;
    auto theme = text(settings.get(), "Settings", "gtk-icon-theme-name");
    return theme.empty() ? std::nullopt : std::optional(theme);
}

} // namespace

IconTheme::IconTheme(std::string theme, std::vector<fs::path> baseFolders, std::vector<fs::path> pixmapFolders)
    : theme_(std::move(theme)), baseFolders_(std::move(baseFolders)), pixmapFolders_(std::move(pixmapFolders)) {}

IconTheme IconTheme::current() {
    std::vector<fs::path> bases{fs::path(std::getenv("HOME") ? std::getenv("HOME") : "") / ".icons"};
    std::vector<fs::path> pixmaps;
    for (const auto& folder : dataFolders()) {
        bases.push_back(folder / "icons");
        pixmaps.push_back(folder / "pixmaps");
    }
    return IconTheme(gtkSettingsTheme().value_or(fallbackTheme), std::move(bases), std::move(pixmaps));
}

std::optional<fs::path> IconTheme::lookup(const std::string& icon, int size) const {
    if (icon.empty()) return std::nullopt;
    if (fs::path(icon).is_absolute()) {
        std::error_code error;
        return fs::is_regular_file(icon, error) ? std::optional<fs::path>(icon) : std::nullopt;
    }
    if (icon.find('/') != std::string::npos) return std::nullopt;
    std::vector<std::string> visited;
    if (auto file = lookupInTheme(theme_, icon, size, visited)) return file;
    if (auto file = lookupInTheme(fallbackTheme, icon, size, visited)) return file;
    for (const auto& folder : pixmapFolders_) {
        if (auto file = fileIn(folder, icon)) return file;
    }
    return std::nullopt;
}

std::optional<fs::path> IconTheme::lookupInTheme(const std::string& theme, const std::string& icon, int size,
                                                 std::vector<std::string>& visited) const {
    if (std::find(visited.begin(), visited.end(), theme) != visited.end() || visited.size() >= maxInheritedThemes) {
        return std::nullopt;
    }
    visited.push_back(theme);
    // The first index.theme found describes the theme; its directories are searched in every base folder.
    KeyFile index(g_key_file_new());
    // Theme lists are separated by commas, unlike desktop entries.
    g_key_file_set_list_separator(index.get(), ',');
    const bool found = std::any_of(baseFolders_.begin(), baseFolders_.end(), [&](const fs::path& base) {
        const auto indexFile = base / theme / "index.theme";
        return g_key_file_load_from_file(index.get(), indexFile.c_str(), G_KEY_FILE_NONE, nullptr) != FALSE;
    });
    if (!found) return std::nullopt;
    std::optional<fs::path> best;
    int bestDistance = std::numeric_limits<int>::max();
    for (const auto& directory : keyFileList(index.get(), "Icon Theme", "Directories")) {
        const int away = distance(index.get(), directory.c_str(), size);
        for (const auto& base : baseFolders_) {
            if (away >= bestDistance) break;
            if (auto file = fileIn(base / theme / directory, icon)) {
                best = std::move(file);
                bestDistance = away;
            }
        }
    }
    const auto parents = keyFileList(index.get(), "Icon Theme", "Inherits");
    if (best) return best;
    for (const auto& parent : parents) {
        if (auto file = lookupInTheme(parent, icon, size, visited)) return file;
    }
    return std::nullopt;
}

} // namespace orvik::helper
