#pragma once

#include "pro/ShortcutsProviding.hpp"
#include "pro/URLOpening.hpp"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

namespace orvik::helper {

// The user's commands through a listing program with four command lines ("list"; "list", "--folders"; "list",
// "--folder-name", F; "run", "--", N), each a separate run without a shell. Where the program is missing, a run
// hands the link "shortcuts://run-shortcut?name=…" to the desktop instead.
//
// Keeps no state beyond its settings: every call starts its own processes, listings on a thread of their own.
class CLIShortcuts final : public ShortcutsProviding {
public:
    struct Timing {
        // The longest a run is waited for; a command still running then counts as started successfully.
        std::chrono::milliseconds runWait{5000};
        // A listing run still going then is killed with everything it started.
        std::chrono::milliseconds listingWatchdog{15000};
    };

    static constexpr std::string_view fallbackURL = "shortcuts://run-shortcut";

    CLIShortcuts(std::filesystem::path executable, std::shared_ptr<URLOpening> urlOpener, Timing timing);
    CLIShortcuts(std::filesystem::path executable, std::shared_ptr<URLOpening> urlOpener)
        : CLIShortcuts(std::move(executable), std::move(urlOpener), Timing{}) {}

    void list(std::function<void(ShortcutsListing)> done) override;
    void run(std::string name, std::function<void(CommandOutcome)> done) override;

    // The fallback link for a command: its name as the percent-encoded query value "name".
    static std::string fallbackURLFor(std::string_view name);

private:
    ShortcutsListing listNow() const;
    void openURLFallback(const std::string& name, std::function<void(CommandOutcome)> done);

    std::filesystem::path executable_;
    std::shared_ptr<URLOpening> urlOpener_;
    Timing timing_;
};

} // namespace orvik::helper
