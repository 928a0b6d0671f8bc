#include "server/HelperIdentity.hpp"

#include "core/AppInfo.hpp"
#include "orvik/protocol/coding/ProtocolVersion.hpp"
#include "orvik/protocol/pairing/OrvikService.hpp"

namespace orvik::helper {
namespace {

Uuid storedOrNewHelperID(UserDefaults& defaults) {
    if (auto stored = defaults.text(HelperIdentity::helperIDKey)) {
        if (auto parsed = Uuid::parse(*stored)) return *parsed;
    }
    auto made = Uuid::random();
    defaults.setText(HelperIdentity::helperIDKey, made.text());
    return made;
}

} // namespace

HelperIdentity HelperIdentity::current(UserDefaults& defaults, const SystemInfo& system, std::string helperVersion) {
    HelperIdentity identity;
    identity.helperID = storedOrNewHelperID(defaults);
    identity.macName = system.computerName();
    identity.model = system.modelIdentifier();
    identity.helperVersion = helperVersion.empty() ? "0" : std::move(helperVersion);
    identity.macAddress = system.primaryMACAddress();
    return identity;
}

HelperIdentity HelperIdentity::current(UserDefaults& defaults, const SystemInfo& system) {
    return current(defaults, system, AppInfo::shortVersion());
}

std::map<std::string, std::string> HelperIdentity::txtRecord() const {
    return {
        {std::string(OrvikService::TXTKey::helperID), helperID.text()},
        {std::string(OrvikService::TXTKey::protocolVersion), std::to_string(ProtocolVersion::current)},
        {std::string(OrvikService::TXTKey::helperVersion), helperVersion},
        {std::string(OrvikService::TXTKey::model), model},
    };
}

} // namespace orvik::helper
