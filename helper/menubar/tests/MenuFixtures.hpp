#pragma once

#include "menubar/MenuSnapshot.hpp"

#include <chrono>

namespace orvik::helper::test {

// Records built field by field (the warnings in use refuse partial designated initialisers).
inline PairedDevice pairedDevice(std::string name, std::optional<Date> lastSeen = std::nullopt, Uuid id = {}) {
    PairedDevice device;
    device.id = id;
    device.name = std::move(name);
    device.lastSeen = lastSeen;
    return device;
}

inline ConnectedDevice viewer(std::string name) {
    ConnectedDevice device;
    device.name = std::move(name);
    return device;
}

inline std::vector<ConnectedDevice> viewers(const std::vector<std::string>& names) {
    std::vector<ConnectedDevice> devices;
    for (const std::string& name : names) devices.push_back(viewer(name));
    return devices;
}

// 4 May 2026, 10 PM in the tests' time zone (UTC).
inline const Date evening = std::chrono::sys_days{std::chrono::year{2026} / 5 / 4} + std::chrono::hours(22);
inline const std::string strangeName = "Tom & Jerry_<b>x</b><img src=/etc/hostname>";

} // namespace orvik::helper::test
