// Stand-in for the shared display texts in trees that do not build them yet: English only, hours only.
#include "model/DisplayTexts.hpp"

#include <chrono>
#include <ctime>

namespace orvik::helper::DisplayTexts {

std::string conjunctionList(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t index = 0; index < items.size(); ++index) {
        if (index > 0) text += items.size() == 2 ? " and " : (index + 1 == items.size() ? ", and " : ", ");
        text += items[index];
    }
    return text;
}

std::string lastSeenText(const std::optional<Date>& lastSeen, Date now) {
    if (!lastSeen) return "Never connected";
    const auto hours = std::chrono::duration_cast<std::chrono::hours>(now - *lastSeen).count();
    return "Last seen " + std::to_string(hours) + " hours ago";
}

std::string shortTime(Date time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    const int hour = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
    const std::string minutes = (local.tm_min < 10 ? "0" : "") + std::to_string(local.tm_min);
    return std::to_string(hour) + ":" + minutes + (local.tm_hour < 12 ? " AM" : " PM");
}

} // namespace orvik::helper::DisplayTexts
