#include "injection/x11/X11KeyTable.hpp"

#include "injection/MediaKeyEncoding.hpp"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>

#include <array>

namespace orvik::helper {
namespace {

// Indexed by Mac virtual key code. Gaps (0) are codes no Mac keyboard sends.
constexpr std::array<std::uint32_t, X11KeyTable::codeCount> keysyms = {
    XK_a, XK_s, XK_d, XK_f, XK_h, XK_g, XK_z, XK_x,                                     // 0x00
    XK_c, XK_v, XK_section, XK_b, XK_q, XK_w, XK_e, XK_r,                               // 0x08 (0x0A: ISO section)
    XK_y, XK_t, XK_1, XK_2, XK_3, XK_4, XK_6, XK_5,                                     // 0x10
    XK_equal, XK_9, XK_7, XK_minus, XK_8, XK_0, XK_bracketright, XK_o,                  // 0x18
    XK_u, XK_bracketleft, XK_i, XK_p, XK_Return, XK_l, XK_j, XK_apostrophe,             // 0x20
    XK_k, XK_semicolon, XK_backslash, XK_comma, XK_slash, XK_n, XK_m, XK_period,        // 0x28
    XK_Tab, XK_space, XK_grave, XK_BackSpace, 0, XK_Escape, XK_Control_R, XK_Control_L, // 0x30 (0x36/0x37: command)
    XK_Shift_L, XK_Caps_Lock, XK_Alt_L, XK_Control_L, XK_Shift_R, XK_Alt_R, XK_Control_R, 0, // 0x38 (0x3F: fn)
    XK_F17, XK_KP_Decimal, 0, XK_KP_Multiply, 0, XK_KP_Add, 0, XK_Clear,                     // 0x40
    XF86XK_AudioRaiseVolume, XF86XK_AudioLowerVolume, XF86XK_AudioMute, XK_KP_Divide,        // 0x48
    XK_KP_Enter, 0, XK_KP_Subtract, XK_F18,                                                  //
    XK_F19, XK_KP_Equal, XK_KP_0, XK_KP_1, XK_KP_2, XK_KP_3, XK_KP_4, XK_KP_5,               // 0x50
    XK_KP_6, XK_KP_7, XK_F20, XK_KP_8, XK_KP_9, XK_yen, XK_underscore, XK_KP_Separator,      // 0x58 (0x5D-0x5F: JIS)
    XK_F5, XK_F6, XK_F7, XK_F3, XK_F8, XK_F9, XK_Eisu_toggle, XK_F11,                        // 0x60 (0x66: JIS Eisu)
    XK_Hiragana_Katakana, XK_F13, XK_F16, XK_F14, 0, XK_F10, XK_Menu, XK_F12,                // 0x68 (0x68: JIS Kana)
    // 0x72 is Help on a Mac keyboard, sitting where a PC keyboard has Insert, which macOS also reports as 0x72.
    0, XK_F15, XK_Insert, XK_Home, XK_Prior, XK_Delete, XK_F4, XK_End, // 0x70
    XK_F2, XK_Next, XK_F1, XK_Left, XK_Right, XK_Down, XK_Up, 0,       // 0x78
};

} // namespace

std::uint32_t X11KeyTable::keysym(std::uint16_t macKeyCode) {
    return macKeyCode < codeCount ? keysyms[macKeyCode] : noSymbol;
}

std::uint32_t X11KeyTable::mediaKeysym(std::int32_t mediaCode) {
    switch (mediaCode) {
    case MediaKeyEncoding::soundUp: return XF86XK_AudioRaiseVolume;
    case MediaKeyEncoding::soundDown: return XF86XK_AudioLowerVolume;
    case MediaKeyEncoding::mute: return XF86XK_AudioMute;
    case MediaKeyEncoding::play: return XF86XK_AudioPlay;
    case MediaKeyEncoding::next: return XF86XK_AudioNext;
    case MediaKeyEncoding::previous: return XF86XK_AudioPrev;
    default: return noSymbol;
    }
}

} // namespace orvik::helper
