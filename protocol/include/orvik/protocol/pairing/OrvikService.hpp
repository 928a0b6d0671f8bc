#pragma once

#include <string_view>

namespace orvik {

// How a helper is advertised on the local network.
struct OrvikService {
    OrvikService() = delete;

    static constexpr std::string_view bonjourType = "_orvik._tcp";

    // Keys of the advertisement's TXT record.
    struct TXTKey {
        TXTKey() = delete;
        static constexpr std::string_view helperID = "id";
        static constexpr std::string_view protocolVersion = "pv";
        static constexpr std::string_view helperVersion = "hv";
        static constexpr std::string_view model = "m";
    };
};

} // namespace orvik
