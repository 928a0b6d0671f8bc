#pragma once

#include <cstddef>
#include <cstdint>

namespace orvik::helper {

// The X11 selections we read and own. Applications paste CLIPBOARD with their paste command (Ctrl+V or
// Shift+Insert); terminals paste PRIMARY on Shift+Insert and every X client does on a middle click.
enum class ClipboardSelection : std::uint8_t { clipboard, primary };

inline constexpr std::size_t clipboardSelectionCount = 2;

constexpr std::size_t indexOf(ClipboardSelection selection) {
    return static_cast<std::size_t>(selection);
}

} // namespace orvik::helper
