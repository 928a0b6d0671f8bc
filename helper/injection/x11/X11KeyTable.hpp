#pragma once

#include <cstdint>

namespace orvik::helper {

// What the phone's key codes mean on X11. Mac virtual key codes are positions on a Mac keyboard; each maps to
// the keysym of that key's meaning on a US layout (code 0x00, "a", is XK_a), and the sink looks the keysym up
// in the server's keyboard map at run time, so letters land right on any layout. The modifier keys map by the
// helper's rule: command and control → Control, option → Alt, shift → Shift, function → nothing.
class X11KeyTable {
public:
    X11KeyTable() = delete;

    // Codes 0 to 127 are keys; anything above is no key.
    static constexpr std::uint16_t codeCount = 128;
    static constexpr std::uint32_t noSymbol = 0;

    // The keysym for a Mac virtual key code; noSymbol for codes that name no key, for fn and above 127.
    static std::uint32_t keysym(std::uint16_t macKeyCode);
    // The XF86Audio keysym of a media-key code (MediaKeyEncoding); noSymbol for an unknown code.
    static std::uint32_t mediaKeysym(std::int32_t mediaCode);
};

} // namespace orvik::helper
