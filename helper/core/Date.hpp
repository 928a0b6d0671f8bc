#pragma once

#include <chrono>
#include <optional>

namespace orvik::helper {

// A wall-clock date. Only stored and shown times use it; the server's timing uses ServerClock.
using Date = std::chrono::system_clock::time_point;

// Stored records count dates in seconds (with fraction) since 2001-01-01 00:00:00 UTC, the reference date.
struct ReferenceDate {
    ReferenceDate() = delete;

    // 2001-01-01 00:00:00 UTC in seconds since 1970-01-01 00:00:00 UTC.
    static constexpr double unixSeconds = 978'307'200.0;
    // Stored dates further than this from the reference date (about 250 years) are refused as unreadable: a Date
    // counts nanoseconds in 64 bits, which reach about 292 years either side of 1970.
    static constexpr double maxMagnitude = 8e9;

    static double seconds(Date date);
    // Absent for a value that is not finite or is beyond maxMagnitude.
    static std::optional<Date> date(double seconds);
};

} // namespace orvik::helper
