#include "platform/DisplayIdentifiers.hpp"

#include <algorithm>
#include <tuple>

namespace orvik::helper {

std::uint32_t DisplayIdentifiers::idForName(std::string_view name) {
    constexpr std::uint32_t fnvOffsetBasis = 2166136261u;
    constexpr std::uint32_t fnvPrime = 16777619u;
    std::uint32_t hash = fnvOffsetBasis;
    for (char character : name) {
        hash ^= static_cast<unsigned char>(character);
        hash *= fnvPrime;
    }
    return hash == 0 ? 1 : hash;
}

std::vector<DisplayInfo> DisplayIdentifiers::arrange(std::vector<MonitorLayout> monitors) {
    std::erase_if(monitors,
                  [](const MonitorLayout& monitor) { return monitor.bounds.width <= 0 || monitor.bounds.height <= 0; });
    std::stable_sort(monitors.begin(), monitors.end(), [](const MonitorLayout& a, const MonitorLayout& b) {
        return std::tuple(!a.primary, a.bounds.x, a.bounds.y) < std::tuple(!b.primary, b.bounds.x, b.bounds.y);
    });
    std::vector<DisplayInfo> displays;
    displays.reserve(monitors.size());
    for (auto& monitor : monitors) {
        auto id = idForName(monitor.name);
        auto taken = [&displays](std::uint32_t candidate) {
            return std::any_of(displays.begin(), displays.end(),
                               [candidate](const DisplayInfo& display) { return display.id == candidate; });
        };
        while (id == 0 || taken(id)) ++id;
        displays.push_back({id, std::move(monitor.name), monitor.bounds, monitor.primary});
    }
    return displays;
}

} // namespace orvik::helper
