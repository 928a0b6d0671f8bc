#include "injection/x11/X11Keymap.hpp"

#include <algorithm>

namespace orvik::helper {

bool X11Keymap::load(Display* display) {
    symbols_.clear();
    modifierKeycodes_.clear();
    XDisplayKeycodes(display, &minKeycode_, &maxKeycode_);
    if (maxKeycode_ < minKeycode_) return false;
    int count = maxKeycode_ - minKeycode_ + 1;
    int perKeycode = 0;
    KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(minKeycode_), count, &perKeycode);
    if (!map) return false;
    perKeycode_ = perKeycode;
    symbols_.assign(map, map + static_cast<std::size_t>(count) * static_cast<std::size_t>(perKeycode));
    XFree(map);
    if (XModifierKeymap* modifiers = XGetModifierMapping(display)) {
        auto entries = 8 * static_cast<std::size_t>(modifiers->max_keypermod);
        modifierKeycodes_.assign(modifiers->modifiermap, modifiers->modifiermap + entries);
        XFreeModifiermap(modifiers);
    }
    return perKeycode_ > 0;
}

std::uint32_t X11Keymap::symbol(int keycode, int index) const {
    if (keycode < minKeycode_ || keycode > maxKeycode_ || index < 0 || index >= perKeycode_) return 0;
    const auto row = static_cast<std::size_t>(keycode - minKeycode_);
    return symbols_[row * static_cast<std::size_t>(perKeycode_) + static_cast<std::size_t>(index)];
}

// The core map shows a key of one group in the second group's place too.
std::optional<std::array<std::uint32_t, 2>> X11Keymap::firstLevels(int keycode) const {
    for (int index = 2; index < perKeycode_; ++index) {
        auto repeated = index < 4 ? symbol(keycode, index - 2) : 0;
        if (symbol(keycode, index) != 0 && symbol(keycode, index) != repeated) return std::nullopt;
    }
    return std::array<std::uint32_t, 2>{symbol(keycode, 0), symbol(keycode, 1)};
}

std::vector<std::uint8_t> X11Keymap::emptyKeycodes() const {
    std::vector<std::uint8_t> empty;
    if (!isLoaded()) return empty;
    for (int keycode = minKeycode_; keycode <= maxKeycode_; ++keycode) {
        auto code = static_cast<std::uint8_t>(keycode);
        bool modifier = std::find(modifierKeycodes_.begin(), modifierKeycodes_.end(), code) != modifierKeycodes_.end();
        if (!modifier && firstLevels(keycode) == std::array<std::uint32_t, 2>{}) empty.push_back(code);
    }
    return empty;
}

std::optional<std::uint8_t> X11Keymap::find(std::uint32_t keysym, int index,
                                            const std::function<bool(std::uint8_t)>& skip) const {
    if (keysym == 0 || !isLoaded()) return std::nullopt;
    for (int keycode = minKeycode_; keycode <= maxKeycode_; ++keycode) {
        auto code = static_cast<std::uint8_t>(keycode);
        if (symbol(keycode, index) == keysym && !skip(code)) return code;
    }
    return std::nullopt;
}

} // namespace orvik::helper
