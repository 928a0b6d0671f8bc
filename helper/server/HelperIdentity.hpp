#pragma once

#include "core/UserDefaults.hpp"
#include "orvik/protocol/coding/Uuid.hpp"
#include "server/SystemInfo.hpp"

#include <map>
#include <optional>
#include <string>

namespace orvik::helper {

// How this computer introduces itself to phones. Built once per launch; the server never changes it.
struct HelperIdentity {
    // User-defaults key of the permanent identifier.
    static constexpr const char* helperIDKey = "helperID";

    Uuid helperID;
    std::string macName;
    std::string model;
    std::string helperVersion;
    std::optional<std::string> macAddress = std::nullopt;

    // Reads the identifier stored under "helperID" (either letter case), or makes a new one and stores its
    // upper-case text when none is stored or it is not a UUID; the other fields come fresh from the host.
    static HelperIdentity current(UserDefaults& defaults, const SystemInfo& system, std::string helperVersion);
    // The same with this build's version.
    static HelperIdentity current(UserDefaults& defaults, const SystemInfo& system);

    // The four entries advertised by mDNS: "id", "pv", "hv", "m". The name and hardware address stay private.
    std::map<std::string, std::string> txtRecord() const;

    friend bool operator==(const HelperIdentity&, const HelperIdentity&) = default;
};

} // namespace orvik::helper
