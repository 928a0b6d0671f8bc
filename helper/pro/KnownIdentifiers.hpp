#pragma once

#include "core/ServerClock.hpp"

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace orvik::helper {

// The allow-lists of the pro commands: the app identifiers and command names this computer has listed itself, all
// in canonical form (NFC). App identifiers only ever accumulate; command names are replaced by each listing, which
// also keeps each name's spelling as listed. A miss may start a rescan at most once per rescanInterval on the
// monotonic clock, the time being taken before the scan begins. Thread-safe; the lock is never held while scanning.
class KnownIdentifiers {
public:
    static constexpr double rescanInterval = 30.0;

    explicit KnownIdentifiers(ServerClock clock) : clock_(std::move(clock)) {}

    bool hasApp(const std::string& canonicalID) const;
    void addApps(const std::vector<std::string>& ids);
    // On a miss: whether a rescan may start now; when it may, the rescan counts as started.
    bool startAppRescan();

    // The listed spelling of a command, absent when it is not known.
    std::optional<std::string> shortcut(const std::string& canonicalName) const;
    void replaceShortcuts(const std::vector<std::string>& names);
    bool startShortcutsRelist();

private:
    bool startRescan(std::optional<double>& last);

    ServerClock clock_;
    mutable std::mutex mutex_;
    std::set<std::string> apps_;
    // Canonical name → the name as listed.
    std::map<std::string, std::string> shortcuts_;
    // Absent until the first rescan: the first miss always scans.
    std::optional<double> lastAppScan_;
    std::optional<double> lastShortcutsList_;
};

} // namespace orvik::helper
