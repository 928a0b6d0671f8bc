#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace orvik::test {

// What the tests of the whole application do on the desktop a user sees: find and focus windows by title, press
// keys, read the application's stored settings, and drive the tray menu it exports over D-Bus.
inline constexpr std::chrono::seconds generous{30};

// The standard output of a program run to its end; empty when it failed.
std::string output(std::vector<std::string> argv);

bool windowShown(const std::string& title);
bool activeWindowIs(const std::string& title);
// Waits for the window with this title and gives it the keyboard focus: a window manager may keep a new window
// behind the one the user works in.
bool focusWindow(const std::string& title);
// Presses keys as xdotool names them ("ctrl+a", "Return"); false when xdotool failed.
bool pressKeys(const std::vector<std::string>& keys);
// Minimises the shown window with this title and waits until it is no longer shown.
bool minimizeWindow(const std::string& title);
// Clicks the middle of the shown window with this title.
bool clickWindow(const std::string& title);

std::filesystem::path configFolder();
// The application's defaults file as JSON; empty when absent or caught between two writes.
nlohmann::json storedDefaults();
// The stored preferences record, decoded.
nlohmann::json storedPreferences();

// The tray's menu as the StatusNotifierItem exports it (dbusmenu at /MenuBar of `service`).
class ExportedMenu {
public:
    struct Entry {
        int id = 0;
        std::string label;
    };

    explicit ExportedMenu(std::string service) : service_(std::move(service)) {}

    // The bus name of the item that exports it.
    const std::string& service() const { return service_; }

    std::vector<Entry> entries() const;
    bool contains(const std::string& label) const;
    // Chooses the item as a tray host does when the user clicks it.
    bool choose(const std::string& label) const;
    // Chooses the item until the window with this title shows: an item chosen by an identifier of an earlier
    // menu may not be there any longer.
    bool open(const std::string& label, const std::string& title) const;

private:
    std::string service_;
};

} // namespace orvik::test
