#include "apps/IconTheme.hpp"

#include "apps/IconThemeIndex.hpp"
#include "apps/KeyFileLists.hpp"
#include "core/XdgPaths.hpp"

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
    gchar* value = g_key_file_get_string(settings.get(), "Settings", "gtk-icon-theme-name", nullptr);
    std::string theme = value ? value : "";
    g_free(value);
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
    std::optional<IconThemeIndex> index;
    for (const auto& base : baseFolders_) {
        if ((index = IconThemeIndex::load(base / theme / "index.theme"))) break;
    }
    if (!index) return std::nullopt;
    std::optional<fs::path> best;
    auto bestDistance = std::numeric_limits<std::int64_t>::max();
    for (const auto& directory : index->directories) {
        const auto away = directory.distance(size);
        for (const auto& base : baseFolders_) {
            if (away >= bestDistance) break;
            if (auto file = fileIn(base / theme / directory.name, icon)) {
                best = std::move(file);
                bestDistance = away;
            }
        }
    }
    if (best) return best;
    for (const auto& parent : index->inherits) {
        if (auto file = lookupInTheme(parent, icon, size, visited)) return file;
    }
    return std::nullopt;
}

} // namespace orvik::helper
