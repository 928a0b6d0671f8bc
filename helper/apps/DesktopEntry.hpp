#pragma once

#include <filesystem>
#include <string>

namespace orvik::helper {

// One listed application: a desktop entry that passed the listing rules.
struct DesktopEntry {
    // The desktop-file id ("org.example.Editor.desktop", sub-folders joined with "-"), NFC-normalised.
    std::string id;
    // The Name for the current locale.
    std::string name;
    // X-AppVersion; empty when the entry has none.
    std::string version;
    std::filesystem::path file;
    // The Icon key: a theme icon name or an absolute file.
    std::string icon;
    std::string startupWMClass;
    // The file name of the Exec key's program ("gedit" for "/usr/bin/gedit %U").
    std::string program;
};

} // namespace orvik::helper
