#include "core/Date.hpp"

#include <cmath>

namespace orvik::helper {

double ReferenceDate::seconds(Date date) {
    std::chrono::duration<double> sinceUnixEpoch = date.time_since_epoch();
    return sinceUnixEpoch.count() - unixSeconds;
}

std::optional<Date> ReferenceDate::date(double seconds) {
    if (!std::isfinite(seconds) || std::fabs(seconds) > maxMagnitude) return std::nullopt;
    std::chrono::duration<double> sinceUnixEpoch(seconds + unixSeconds);
    return Date(std::chrono::round<Date::duration>(sinceUnixEpoch));
}

} // namespace orvik::helper
