#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orvik::helper {

// Finds an application's icon file in an icon theme after the freedesktop icon-theme rules: the theme, the
// themes it inherits, then "hicolor"; in each, the directory whose size fits best (scalable ones fit any size in
// their range); PNG, SVG and XPM; finally the pixmaps folder. Reads the theme files on every call.
class IconTheme {
public:
    // `baseFolders`: where themes live ($XDG_DATA_HOME/icons, each of $XDG_DATA_DIRS + "/icons").
    IconTheme(std::string theme, std::vector<std::filesystem::path> baseFolders,
              std::vector<std::filesystem::path> pixmapFolders);

    // The theme named by the desktop's GTK settings file, else "hicolor", over the default folders.
    static IconTheme current();

    // The file of `icon` for an edge of `size` pixels. An absolute `icon` is taken as the file itself.
    std::optional<std::filesystem::path> lookup(const std::string& icon, int size) const;

private:
    std::optional<std::filesystem::path> lookupInTheme(const std::string& theme, const std::string& icon, int size,
                                                       std::vector<std::string>& visited) const;

    std::string theme_;
    std::vector<std::filesystem::path> baseFolders_;
    std::vector<std::filesystem::path> pixmapFolders_;
};

} // namespace orvik::helper
