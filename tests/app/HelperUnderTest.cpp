#include "HelperUnderTest.hpp"

#include "WaitUntil.hpp"
#include "orvik/protocol/coding/Base64.hpp"
#include "orvik/protocol/coding/Uuid.hpp"

#include <cstdlib>
#include <fstream>
#include <random>
#include <regex>

namespace orvik::test {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// python-dbusmock takes its name before it has loaded its template: a mock is ready once it answers a call.
bool sessionBusNameAnswers(const std::string& name) {
    return output({"gdbus", "call", "--session", "--timeout", "1", "--dest", name, "--object-path", "/", "--method",
                   "org.freedesktop.DBus.Peer.Ping"}) == "()\n";
}

bool trayerDocks() {
    return output({"xwininfo", "-root", "-tree"}).find("\"panel\": (\"panel\" \"trayer\")") != std::string::npos;
}

fs::path dataFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    return (dataHome && *dataHome ? fs::path(dataHome) : fs::path(std::getenv("HOME")) / ".local/share") /
           "orvik-helper";
}

std::string runtimeFile(const std::string& name) {
    return std::string(std::getenv("XDG_RUNTIME_DIR")) + "/" + name;
}

std::string encoded(const std::string& text) {
    return Base64::encode(ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

// Phones paired earlier, as the device store keeps them: the list in the defaults file (`entries`, JSON) and the
// keys in the key file.
std::vector<SeededDevice> seedDevices(std::size_t count, nlohmann::json& entries) {
    std::vector<SeededDevice> devices;
    nlohmann::json keys = nlohmann::json::object();
    std::random_device random;
    entries = nlohmann::json::array();
    for (std::size_t index = 0; index < count; ++index) {
        Bytes key(32);
        for (auto& byte : key) byte = static_cast<std::uint8_t>(random());
        static constexpr char digits[] = "0123456789abcdef";
        std::string hex;
        for (auto byte : key) hex += {digits[byte >> 4], digits[byte & 0x0F]};
        const std::string id = Uuid::random().text();
        entries.push_back({{"id", id},
                           {"name", "Phone " + std::to_string(index + 1)},
                           {"model", "iPhone"},
                           {"pairedAt", 700'000'000.0}});
        keys[id] = Base64::encode(key);
        devices.push_back({id, hex});
    }
    fs::create_directories(dataFolder());
    const fs::path keyFile = dataFolder() / "device-keys.json";
    std::ofstream(keyFile) << keys.dump(2) << "\n";
    fs::permissions(keyFile, fs::perms::owner_read | fs::perms::owner_write);
    return devices;
}

} // namespace

TrayHost::TrayHost(TrayKind kind) : kind_(kind) {
    switch (kind_) {
    case TrayKind::none: ready_ = true; break;
    case TrayKind::xembed:
        // A dark panel across the top right, as many desktops have.
        process_ = std::make_unique<ChildProcess>(std::vector<std::string>{
            "trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "240", "--height", "28",
            "--SetDockType", "true", "--transparent", "true", "--alpha", "0", "--tint", "0x404040"});
        ready_ = waitUntil(trayerDocks, generous);
        break;
    case TrayKind::statusNotifier:
        log_ = runtimeFile("status-notifier-watcher.log");
        fs::remove(log_);
        process_ = std::make_unique<ChildProcess>(std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "-l",
                                                                           log_, "--template", ORVIK_WATCHER_TEMPLATE});
        ready_ = waitUntil([] { return sessionBusNameAnswers("org.kde.StatusNotifierWatcher"); }, generous);
        break;
    }
}

int TrayHost::registrations() const {
    std::ifstream log(log_);
    int count = 0;
    for (std::string line; std::getline(log, line);) {
        if (line.find("RegisterStatusNotifierItem") != std::string::npos) ++count;
    }
    return count;
}

std::optional<ExportedMenu> TrayHost::registeredMenu(std::chrono::milliseconds wait) const {
    if (kind_ != TrayKind::statusNotifier) return std::nullopt;
    std::string service;
    waitUntil(
        [&] {
            std::ifstream log(log_);
            static const std::regex registration(R"(RegisterStatusNotifierItem "([^"]+)\")");
            std::smatch match;
            for (std::string line; std::getline(log, line);) {
                if (std::regex_search(line, match, registration)) service = match[1];
            }
            return !service.empty();
        },
        wait);
    if (service.empty()) return std::nullopt;
    return ExportedMenu(service);
}

HelperUnderTest::HelperUnderTest(Setup setup) {
    fs::remove_all(configFolder());
    fs::remove_all(dataFolder());
    fs::create_directories(configFolder());
    nlohmann::json defaults = nlohmann::json::object();
    if (setup.onboarded) {
        defaults["onboardingCompleted"] = {{"type", "bool"}, {"value", true}};
        if (setup.permissionLost) defaults["postEventGrantedBefore"] = {{"type", "bool"}, {"value", true}};
        defaults["helperPreferences"] = {{"type", "data"}, {"value", encoded(setup.preferencesJson)}};
    }
    if (setup.pairedDevices > 0) {
        nlohmann::json entries;
        devices_ = seedDevices(setup.pairedDevices, entries);
        defaults["pairedDevices"] = {{"type", "data"}, {"value", encoded(entries.dump())}};
    }
    if (!defaults.empty()) std::ofstream(configFolder() / "defaults.json") << defaults.dump() << "\n";
    if (setup.logsOnOutput) argv_ = {"/bin/sh", "-c", "exec \"$@\" 2>&1", "sh"};
    if (setup.permissionLost) argv_.insert(argv_.end(), {"env", "XDG_SESSION_TYPE=wayland", "QT_QPA_PLATFORM=xcb"});
    // Another build of the program (a release build, for its figures) where the run names one.
    const char* chosen = std::getenv("ORVIK_HELPER_UNDER_TEST");
    argv_.push_back(chosen && *chosen ? chosen : ORVIK_HELPER_PATH);
    process_ = std::make_unique<ChildProcess>(argv_);
}

std::unique_ptr<ChildProcess> HelperUnderTest::startAgain(const std::vector<std::string>& environment) const {
    if (environment.empty()) return std::make_unique<ChildProcess>(argv_);
    std::vector<std::string> argv{"env"};
    argv.insert(argv.end(), environment.begin(), environment.end());
    argv.insert(argv.end(), argv_.begin(), argv_.end());
    return std::make_unique<ChildProcess>(argv);
}

int HelperUnderTest::listenerPort(std::chrono::milliseconds wait) {
    int port = 0;
    waitUntil(
        [&] {
            auto defaults = storedDefaults();
            if (defaults.contains("listenerPort")) port = defaults["listenerPort"]["value"].get<int>();
            return port != 0;
        },
        wait);
    return port;
}

std::optional<UsageRate> HelperUnderTest::usageOver(std::chrono::milliseconds interval) const {
    return UsageRate::over(pid(), interval);
}

} // namespace orvik::test
