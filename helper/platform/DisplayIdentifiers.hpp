#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvik::helper {

// A rectangle of the X root window in pixels; it contains its minimum edges and not its maximum edges.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// One monitor as the X server describes it.
struct MonitorLayout {
    std::string name;
    PixelRect bounds;
    bool primary = false;

    friend bool operator==(const MonitorLayout&, const MonitorLayout&) = default;
};

// A monitor with the identifier the phone uses for it (pointer positions, screen viewing).
struct DisplayInfo {
    std::uint32_t id = 0;
    std::string name;
    PixelRect bounds;
    bool primary = false;

    friend bool operator==(const DisplayInfo&, const DisplayInfo&) = default;
};

// The one display-identifier scheme of the helper, shared by input injection and screen capture.
// A display's identifier is the 32-bit FNV-1a hash of its monitor name ("DP-1", "HDMI-A-0", "screen"), so it
// stays the same across X server restarts and re-plugging, unlike the number of the name's atom. 0 is never
// an identifier; a rare collision moves the later display to the next free value.
class DisplayIdentifiers {
public:
    static std::uint32_t idForName(std::string_view name);

    // The monitors in the helper's display order, each with its identifier: the primary monitor first, then
    // left to right and top to bottom. Monitors without area are left out.
    static std::vector<DisplayInfo> arrange(std::vector<MonitorLayout> monitors);
};

} // namespace orvik::helper
