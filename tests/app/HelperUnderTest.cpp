#include "HelperUnderTest.hpp"

#include "WaitUntil.hpp"
#include "orvik/protocol/coding/Base64.hpp"

#include <cstdlib>
#include <fstream>
#include <regex>

namespace orvik::test {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

bool sessionBusNameOwned(const std::string& name) {
    return output({"gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                   "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner", name}) == "(true,)\n";
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
        ready_ = waitUntil([] { return sessionBusNameOwned("org.kde.StatusNotifierWatcher"); }, generous);
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
    if (setup.onboarded) {
        const auto& record = setup.preferencesJson;
        const auto encoded =
            Base64::encode(ByteView(reinterpret_cast<const std::uint8_t*>(record.data()), record.size()));
        std::ofstream(configFolder() / "defaults.json")
            << R"({"onboardingCompleted": {"type": "bool", "value": true}, )"
            << (setup.permissionLost ? R"("postEventGrantedBefore": {"type": "bool", "value": true}, )" : "")
            << R"("helperPreferences": {"type": "data", "value": ")" << encoded << "\"}}\n";
    }
    if (setup.permissionLost) argv_ = {"env", "XDG_SESSION_TYPE=wayland", "QT_QPA_PLATFORM=xcb"};
    // Another build of the program (a release build, for its figures) where the run names one.
    const char* chosen = std::getenv("ORVIK_HELPER_UNDER_TEST");
    argv_.push_back(chosen && *chosen ? chosen : ORVIK_HELPER_PATH);
    process_ = std::make_unique<ChildProcess>(argv_);
}

std::unique_ptr<ChildProcess> HelperUnderTest::startAgain() const {
    return std::make_unique<ChildProcess>(argv_);
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
