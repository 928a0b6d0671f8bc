#include "model/XdgLoginItem.hpp"

#include "core/AtomicFile.hpp"
#include "core/XdgPaths.hpp"

#include <map>
#include <sstream>
#include <system_error>

namespace orvik::helper {
namespace {

constexpr std::string_view mainGroup = "[Desktop Entry]";
constexpr mode_t entryMode = 0644;
// Characters that make the desktop-entry spec require a quoted Exec argument.
constexpr std::string_view reservedInExec = " \t\n\"'\\><~|&;$*?#()`";
// Characters escaped with a backslash inside a quoted Exec argument.
constexpr std::string_view escapedInQuotes = "\"`$\\";

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

// The string-type escapes of a value: \s \n \t \r \\.
std::string unescapedValue(std::string_view value) {
    std::string result;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            result += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's': result += ' '; break;
        case 'n': result += '\n'; break;
        case 't': result += '\t'; break;
        case 'r': result += '\r'; break;
        default: result += value[i];
        }
    }
    return result;
}

std::string escapedValue(std::string_view value) {
    std::string result;
    for (char c : value) {
        if (c == '\\')
            result += "\\\\";
        else if (c == '\n')
            result += "\\n";
        else
            result += c;
    }
    return result;
}

// The program argument of an Exec line (after the value's own escapes are undone).
std::string firstExecArgument(std::string_view exec) {
    std::string argument;
    std::size_t i = exec.find_first_not_of(" \t");
    if (i == std::string_view::npos) return {};
    if (exec[i] != '"') {
        const auto end = exec.find_first_of(" \t", i);
        return std::string(exec.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
    }
    for (++i; i < exec.size() && exec[i] != '"'; ++i) {
        if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
        argument += exec[i];
    }
    return argument;
}

std::string quotedExecArgument(const std::string& argument) {
    if (argument.find_first_of(reservedInExec) == std::string::npos) return argument;
    std::string quoted = "\"";
    for (char c : argument) {
        if (escapedInQuotes.find(c) != std::string_view::npos) quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

// The keys of the main group; later groups (actions) are not read.
std::map<std::string, std::string> mainGroupKeys(const std::string& contents) {
    std::map<std::string, std::string> keys;
    std::istringstream lines(contents);
    bool inMain = false;
    for (std::string line; std::getline(lines, line);) {
        const auto text = trimmed(line);
        if (text.empty() || text.front() == '#') continue;
        if (text.front() == '[') {
            if (inMain) break;
            inMain = text == mainGroup;
            continue;
        }
        const auto equals = text.find('=');
        if (!inMain || equals == std::string::npos) continue;
        keys.try_emplace(trimmed(std::string_view(text).substr(0, equals)),
                         unescapedValue(trimmed(std::string_view(text).substr(equals + 1))));
    }
    return keys;
}

std::string valueOf(const std::map<std::string, std::string>& keys, const std::string& key) {
    const auto found = keys.find(key);
    return found == keys.end() ? std::string() : found->second;
}

} // namespace

XdgLoginItem::XdgLoginItem(std::filesystem::path binary) : binary_(std::move(binary)) {}

std::filesystem::path XdgLoginItem::currentExecutable() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : path;
}

std::filesystem::path XdgLoginItem::entryPath() {
    return XdgPaths::configHome() / "autostart" / entryName;
}

std::string XdgLoginItem::entryContents(const std::filesystem::path& binary) {
    std::string contents(mainGroup);
    contents += "\nType=Application\nName=Orvik Helper\nComment=Control this computer from your iPhone\n";
    contents += "Exec=" + escapedValue(quotedExecArgument(binary.string())) + "\n";
    contents += "Icon=orvik-helper\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
    return contents;
}

bool XdgLoginItem::isEnabled() const {
    if (!binary_.is_absolute()) return false;
    const auto read = AtomicFile::read(entryPath());
    if (read.status != AtomicFile::ReadResult::Status::contents) return false;
    const auto keys = mainGroupKeys(read.contents);
    if (valueOf(keys, "Hidden") == "true") return false;
    if (valueOf(keys, "X-GNOME-Autostart-enabled") == "false") return false;
    return firstExecArgument(valueOf(keys, "Exec")) == binary_.string();
}

std::optional<std::string> XdgLoginItem::setEnabled(bool enabled) {
    const auto path = entryPath();
    std::error_code error;
    if (!enabled) {
        std::filesystem::remove(path, error);
        if (error) return "Cannot remove " + path.string() + ": " + error.message();
        return std::nullopt;
    }
    if (!binary_.is_absolute()) return std::string("The helper's own program file is unknown");
    std::filesystem::create_directories(path.parent_path(), error);
    if (error) return "Cannot create " + path.parent_path().string() + ": " + error.message();
    return AtomicFile::replace(path, entryContents(binary_), entryMode);
}

} // namespace orvik::helper
