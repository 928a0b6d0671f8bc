#pragma once

#include <filesystem>

namespace orvik::helper {

// Where the helper keeps its files, after the XDG base-directory rules: a variable that is unset, empty or not an
// absolute path falls back to the default under the home folder.
struct XdgPaths {
    XdgPaths() = delete;

    // $HOME when it is an absolute path, else the user's entry in the password database, else "/".
    static std::filesystem::path home();
    // $XDG_CONFIG_HOME, else ~/.config.
    static std::filesystem::path configHome();
    // $XDG_DATA_HOME, else ~/.local/share.
    static std::filesystem::path dataHome();

    // The helper's own folders below them ("orvik-helper").
    static std::filesystem::path configDirectory();
    static std::filesystem::path dataDirectory();

    // Creates the folder and its missing parents; a folder made here, and the folder itself, get mode 0700.
    // False when it cannot be made.
    static bool ensurePrivateDirectory(const std::filesystem::path& directory);
};

} // namespace orvik::helper
