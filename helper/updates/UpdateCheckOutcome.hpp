#pragma once

#include "updates/Appcast.hpp"

#include <string>
#include <string_view>
#include <variant>

namespace orvik::helper {

// What one update check found: a newer release, none, or why the check failed. A failure never reads as up to
// date.
struct UpdateCheckOutcome {
    enum class Failure { unreachable, untrusted, timedOut, httpStatus, tooLarge, unreadableFeed, noVersions };

    struct Newer {
        Appcast::Item release;
    };
    struct UpToDate {};
    struct Failed {
        Failure failure;
        // The HTTP status for httpStatus, the network layer's own words for unreachable; else empty.
        std::string detail;
    };

    std::variant<Newer, UpToDate, Failed> result;

    // Reads a fetched feed: its newest release with a valid version, compared with the running version.
    static UpdateCheckOutcome fromFeed(std::string_view document, std::string_view runningVersion);
    static UpdateCheckOutcome failed(Failure failure, std::string detail = {});
};

} // namespace orvik::helper
