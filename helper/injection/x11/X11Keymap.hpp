#pragma once

#include <X11/Xlib.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace orvik::helper {

// A copy of the server's core keyboard map (XGetKeyboardMapping) and modifier map, the truth applications
// read; Xlib's own cached copy can lag behind. Entry index 0 and 1 of a keycode are the first group's plain and
// shifted levels, 2 and 3 the second group's.
class X11Keymap {
public:
    // Reads both maps; false (and an empty map) when the server did not answer.
    bool load(Display* display);
    bool isLoaded() const { return !symbols_.empty(); }

    // The keysym at `index` of `keycode`; 0 outside the map.
    std::uint32_t symbol(int keycode, int index) const;
    // The first two entries of `keycode`; absent when it has symbols beyond them (other than the first group's
    // own, shown again in the second group's place).
    std::optional<std::array<std::uint32_t, 2>> firstLevels(int keycode) const;
    // Keycodes whose every entry is empty and that no modifier uses: free for the helper to borrow.
    std::vector<std::uint8_t> emptyKeycodes() const;

    // The first keycode, in keycode order, with `keysym` at `index`, skipping those `skip` accepts.
    std::optional<std::uint8_t> find(std::uint32_t keysym, int index,
                                     const std::function<bool(std::uint8_t)>& skip) const;

private:
    int minKeycode_ = 0;
    int maxKeycode_ = 0;
    int perKeycode_ = 0;
    std::vector<std::uint32_t> symbols_;
    std::vector<std::uint8_t> modifierKeycodes_;
};

} // namespace orvik::helper
