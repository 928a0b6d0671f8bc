#pragma once

#include "core/Date.hpp"

#include <optional>
#include <string>
#include <vector>

namespace orvik::helper {

// Texts that the tray menu and the settings both show, formatted for the user's locale (en_US when the process
// runs in the C or POSIX locale).
namespace DisplayTexts {

// The names joined as a list of the "and" kind: "A", "A and B", "A, B, and C".
std::string conjunctionList(const std::vector<std::string>& items);

// "Last seen " + the date relative to now in words ("yesterday", "3 hours ago"), or "Never connected".
std::string lastSeenText(const std::optional<Date>& lastSeen, Date now);

// A time of day in the short style without the date ("10:30 PM").
std::string shortTime(Date time);

} // namespace DisplayTexts
} // namespace orvik::helper
