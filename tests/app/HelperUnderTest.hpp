#pragma once

#include "ChildProcess.hpp"
#include "DesktopTools.hpp"
#include "ProcessUsage.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvik::test {

enum class TrayKind { none, xembed, statusNotifier };

// A system tray on the test's desktop: trayer docking XEmbed icons, or a StatusNotifierWatcher mocked on the
// session bus that takes every item and says a host is present.
class TrayHost {
public:
    explicit TrayHost(TrayKind kind);
    TrayHost(const TrayHost&) = delete;
    TrayHost& operator=(const TrayHost&) = delete;

    // True once the tray is there for applications to find.
    bool ready() const { return ready_; }
    // The menu of the first StatusNotifierItem registered, once one is.
    std::optional<ExportedMenu> registeredMenu(std::chrono::milliseconds wait = generous) const;
    // How many StatusNotifierItems have registered so far.
    int registrations() const;

private:
    TrayKind kind_;
    std::string log_;
    std::unique_ptr<ChildProcess> process_;
    bool ready_ = false;
};

// A phone the helper knows from an earlier pairing: its identifier and its 32-byte key in hex.
struct SeededDevice {
    std::string id;
    std::string keyHex;
};

// The real orvik-helper as a user starts it, on the run's desktop and session bus, in the run's home folder made
// empty first: as after a finished first run (or at a first start), with the given preferences record and as many
// paired phones (their keys in the key file, as where no keyring runs). The build under test is the one beside the
// tests, or the one $ORVIK_HELPER_UNDER_TEST names.
class HelperUnderTest {
public:
    struct Setup {
        bool onboarded = true;
        std::string preferencesJson = "{}";
        std::size_t pairedDevices = 0;
        // Input was allowed once and is not now: a Wayland session.
        bool permissionLost = false;
        // Its log (standard error) comes with its standard output.
        bool logsOnOutput = false;
    };

    explicit HelperUnderTest(Setup setup);
    HelperUnderTest() : HelperUnderTest(Setup{}) {}

    ChildProcess& process() { return *process_; }
    // Starts the program once more, as a user does while it runs; `environment` changes its environment as the
    // arguments of env(1) do ("-u", "NAME", "NAME=value").
    std::unique_ptr<ChildProcess> startAgain(const std::vector<std::string>& environment = {}) const;
    pid_t pid() const { return process_->pid(); }
    // The port its listener stored; 0 when none was stored within `wait`.
    int listenerPort(std::chrono::milliseconds wait = generous);
    // Its use of CPU and wake-ups over `interval`; absent when it ended meanwhile.
    std::optional<UsageRate> usageOver(std::chrono::milliseconds interval) const;
    const std::vector<SeededDevice>& devices() const { return devices_; }

private:
    std::vector<SeededDevice> devices_;
    std::vector<std::string> argv_;
    std::unique_ptr<ChildProcess> process_;
};

} // namespace orvik::test
