#include "pro/KnownIdentifiers.hpp"

#include "core/UnicodeText.hpp"

namespace orvik::helper {

bool KnownIdentifiers::hasApp(const std::string& canonicalID) const {
    std::lock_guard lock(mutex_);
    return apps_.contains(canonicalID);
}

void KnownIdentifiers::addApps(const std::vector<std::string>& ids) {
    std::vector<std::string> canonical;
    canonical.reserve(ids.size());
    for (const auto& id : ids) canonical.push_back(UnicodeText::nfc(id));
    std::lock_guard lock(mutex_);
    apps_.insert(canonical.begin(), canonical.end());
}

bool KnownIdentifiers::startAppRescan() {
    return startRescan(lastAppScan_);
}

std::optional<std::string> KnownIdentifiers::shortcut(const std::string& canonicalName) const {
    std::lock_guard lock(mutex_);
    const auto found = shortcuts_.find(canonicalName);
    if (found == shortcuts_.end()) return std::nullopt;
    return found->second;
}

void KnownIdentifiers::replaceShortcuts(const std::vector<std::string>& names) {
    std::map<std::string, std::string> listed;
    for (const auto& name : names) listed.try_emplace(UnicodeText::nfc(name), name);
    std::lock_guard lock(mutex_);
    shortcuts_ = std::move(listed);
}

bool KnownIdentifiers::startShortcutsRelist() {
    return startRescan(lastShortcutsList_);
}

bool KnownIdentifiers::startRescan(std::optional<double>& last) {
    const double now = clock_();
    std::lock_guard lock(mutex_);
    if (last && now - *last < rescanInterval) return false;
    last = now;
    return true;
}

} // namespace orvik::helper
