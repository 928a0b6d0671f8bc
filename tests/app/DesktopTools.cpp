#include "DesktopTools.hpp"

#include "ChildProcess.hpp"
#include "WaitUntil.hpp"

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

namespace orvik::test {
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;

std::string output(std::vector<std::string> argv) {
    auto result = ChildProcess::run(std::move(argv), 10s);
    std::string text;
    for (const auto& line : result.lines) text += line + "\n";
    return result.status == 0 ? text : std::string();
}

bool windowShown(const std::string& title) {
    return ChildProcess::run({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}, 5s).status == 0;
}

bool activeWindowIs(const std::string& title) {
    return output({"xdotool", "getactivewindow", "getwindowname"}) == title + "\n";
}

bool focusWindow(const std::string& title) {
    return waitUntil(
        [&] {
            if (activeWindowIs(title)) return true;
            std::istringstream found(output({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}));
            std::string window;
            if (found >> window) ChildProcess::run({"xdotool", "windowactivate", "--sync", window}, 5s);
            return activeWindowIs(title);
        },
        generous);
}

bool pressKeys(const std::vector<std::string>& keys) {
    std::vector<std::string> argv{"xdotool", "key", "--clearmodifiers"};
    argv.insert(argv.end(), keys.begin(), keys.end());
    return ChildProcess::run(argv, 10s).status == 0;
}

namespace {

std::string shownWindow(const std::string& title) {
    std::istringstream found(output({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}));
    std::string window;
    found >> window;
    return window;
}

} // namespace

bool minimizeWindow(const std::string& title) {
    const auto window = shownWindow(title);
    return !window.empty() && ChildProcess::run({"xdotool", "windowminimize", "--sync", window}, 10s).status == 0 &&
           waitUntil([&] { return !windowShown(title); }, generous);
}

bool clickWindow(const std::string& title) {
    const auto window = shownWindow(title);
    if (window.empty()) return false;
    std::istringstream geometry(output({"xdotool", "getwindowgeometry", "--shell", window}));
    int width = 0, height = 0;
    for (std::string field; geometry >> field;) {
        if (field.rfind("WIDTH=", 0) == 0) width = std::stoi(field.substr(6));
        if (field.rfind("HEIGHT=", 0) == 0) height = std::stoi(field.substr(7));
    }
    return ChildProcess::run({"xdotool", "mousemove", "--window", window, std::to_string(width / 2),
                              std::to_string(height / 2), "click", "1"},
                             10s)
               .status == 0;
}

fs::path configFolder() {
    return fs::path(std::getenv("XDG_CONFIG_HOME")) / "orvik-helper";
}

json storedDefaults() {
    std::ifstream file(configFolder() / "defaults.json");
    if (!file) return json::object();
    try {
        return json::parse(file);
    } catch (const json::exception&) {
        return json::object();
    }
}

json storedPreferences() {
    auto defaults = storedDefaults();
    if (!defaults.contains("helperPreferences")) return json::object();
    const auto encoded = defaults["helperPreferences"]["value"].get<std::string>();
    // The record ends without a newline; the echo completes the line.
    const auto decoded = output({"sh", "-c", "printf %s '" + encoded + "' | base64 -d; echo"});
    return json::parse(decoded, nullptr, false);
}

namespace {

// A dbusmenu label: "__" stands for "_", another "_" marks a mnemonic; gdbus escapes quotes.
std::string shownLabel(const std::string& label) {
    std::string text;
    for (std::size_t at = 0; at < label.size(); ++at) {
        if ((label[at] == '_' || label[at] == '\\') && at + 1 < label.size()) ++at;
        text += label[at];
    }
    return text;
}

} // namespace

std::vector<ExportedMenu::Entry> ExportedMenu::entries() const {
    const auto layout = output({"gdbus", "call", "--session", "--dest", service_, "--object-path", "/MenuBar",
                                "--method", "com.canonical.dbusmenu.GetLayout", "0", "int32 -1", "@as []"});
    std::vector<Entry> found;
    static const std::regex item(R"(\((\d+), \{[^}]*'label': <'((?:[^'\\]|\\.)*)'>)");
    for (std::sregex_iterator at(layout.begin(), layout.end(), item), end; at != end; ++at) {
        found.push_back({std::stoi((*at)[1]), shownLabel((*at)[2])});
    }
    return found;
}

bool ExportedMenu::contains(const std::string& label) const {
    for (const auto& entry : entries()) {
        if (entry.label == label) return true;
    }
    return false;
}

bool ExportedMenu::choose(const std::string& label) const {
    for (const auto& entry : entries()) {
        if (entry.label != label) continue;
        return ChildProcess::run({"gdbus", "call", "--session", "--dest", service_, "--object-path", "/MenuBar",
                                  "--method", "com.canonical.dbusmenu.Event", std::to_string(entry.id), "clicked",
                                  "<0>", "0"},
                                 10s)
                   .status == 0;
    }
    return false;
}

bool ExportedMenu::open(const std::string& label, const std::string& title) const {
    return waitUntil([&] { return choose(label) && waitUntil([&] { return windowShown(title); }, 3s); }, generous);
}

} // namespace orvik::test
