#include "injection/x11/X11KeyTable.hpp"
#include "orvik/protocol/keys/MacKey.hpp"

#include <X11/keysym.h>
#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

// A few keys across the whole table, so a missing or extra entry shows.
TEST(X11KeyTableTest, macKeysMapToTheirUSMeaning) {
    const std::pair<std::uint16_t, std::uint32_t> cases[] = {
        {rawValue(MacKey::a), XK_a},
        {rawValue(MacKey::y), XK_y},
        {rawValue(MacKey::digit5), XK_5},
        {rawValue(MacKey::quote), XK_apostrophe},
        {rawValue(MacKey::deleteKey), XK_BackSpace},
        {0x4C, XK_KP_Enter},
        {0x5C, XK_KP_9},
        {rawValue(MacKey::f5), XK_F5},
        {0x69, XK_F13},
        {rawValue(MacKey::forwardDelete), XK_Delete},
        {rawValue(MacKey::pageDown), XK_Next},
        {rawValue(MacKey::upArrow), XK_Up},
    };
    for (const auto& [code, keysym] : cases) EXPECT_EQ(X11KeyTable::keysym(code), keysym) << code;
}

TEST(X11KeyTableTest, modifierKeysFollowTheHelpersRule) {
    EXPECT_EQ(X11KeyTable::keysym(rawValue(MacKey::command)), static_cast<std::uint32_t>(XK_Control_L));
    EXPECT_EQ(X11KeyTable::keysym(0x36), static_cast<std::uint32_t>(XK_Control_R)); // right command
    EXPECT_EQ(X11KeyTable::keysym(rawValue(MacKey::control)), static_cast<std::uint32_t>(XK_Control_L));
    EXPECT_EQ(X11KeyTable::keysym(rawValue(MacKey::option)), static_cast<std::uint32_t>(XK_Alt_L));
    EXPECT_EQ(X11KeyTable::keysym(rawValue(MacKey::shift)), static_cast<std::uint32_t>(XK_Shift_L));
    EXPECT_EQ(X11KeyTable::keysym(0x3C), static_cast<std::uint32_t>(XK_Shift_R));
    EXPECT_EQ(X11KeyTable::keysym(rawValue(MacKey::function)), X11KeyTable::noSymbol);
}

TEST(X11KeyTableTest, everyMacKeyHasAKeysymAndNothingAbove127Does) {
    for (auto key : allMacKeys) {
        if (key == MacKey::function) continue;
        EXPECT_NE(X11KeyTable::keysym(rawValue(key)), X11KeyTable::noSymbol) << name(key);
    }
    for (std::uint16_t code : std::initializer_list<std::uint16_t>{0x34, 0x7F, 128, 0xFFFF})
        EXPECT_EQ(X11KeyTable::keysym(code), X11KeyTable::noSymbol);
}

} // namespace
} // namespace orvik::helper
