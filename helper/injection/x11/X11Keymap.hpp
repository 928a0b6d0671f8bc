#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace orvik::helper {

// A copy of the server's core keyboard map (XGetKeyboardMapping), the truth applications read; Xlib's own
// cached copy can lag behind. Entry index 0 and 1 of a keycode are the first group's plain and shifted levels,
// 2 and 3 the second group's.
class X11Keymap {
public:
    // Reads the whole map; false (and an empty map) when the server did not answer.
    bool load(Display* display);
    bool isLoaded() const { return !symbols_.empty(); }

    // The keysym at `index` of `keycode`; 0 outside the map.
    std::uint32_t symbol(int keycode, int index) const;
    // Keycodes whose every entry is empty.
    std::vector<std::uint8_t> emptyKeycodes() const;

    // The first keycode, in keycode order, with `keysym` at `index`, skipping those `skip` accepts.
    std::optional<std::uint8_t> find(std::uint32_t keysym, int index,
                                     const std::function<bool(std::uint8_t)>& skip) const;

private:
    int minKeycode_ = 0;
    int maxKeycode_ = 0;
    int perKeycode_ = 0;
    std::vector<std::uint32_t> symbols_;
};

} // namespace orvik::helper
