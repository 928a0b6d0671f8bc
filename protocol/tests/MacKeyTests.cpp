#include "orvik/protocol/keys/MacKey.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

using namespace orvik;

TEST(MacKey, ExactlySeventyNineKeysEachNamedByItsCode) {
    int named = 0;
    for (std::uint32_t raw = 0; raw <= 0xFFFF; ++raw) {
        auto key = macKey(static_cast<std::uint16_t>(raw));
        if (!key) continue;
        ++named;
        EXPECT_EQ(rawValue(*key), raw);
    }
    EXPECT_EQ(named, 79);
    EXPECT_EQ(allMacKeys.size(), 79u);
    std::set<std::uint16_t> codes;
    for (auto key : allMacKeys) codes.insert(rawValue(key));
    EXPECT_EQ(codes.size(), 79u);
    EXPECT_TRUE(std::is_sorted(allMacKeys.begin(), allMacKeys.end()));
}

TEST(MacKey, WellKnownCodes) {
    EXPECT_EQ(rawValue(MacKey::a), 0x00);
    EXPECT_EQ(rawValue(MacKey::v), 0x09);
    EXPECT_EQ(rawValue(MacKey::q), 0x0C);
    EXPECT_EQ(rawValue(MacKey::returnKey), 36);
    EXPECT_EQ(rawValue(MacKey::tab), 48);
    EXPECT_EQ(rawValue(MacKey::space), 49);
    EXPECT_EQ(rawValue(MacKey::deleteKey), 51);
    EXPECT_EQ(rawValue(MacKey::escape), 53);
    EXPECT_EQ(rawValue(MacKey::command), 0x37);
    EXPECT_EQ(rawValue(MacKey::shift), 0x38);
    EXPECT_EQ(rawValue(MacKey::capsLock), 0x39);
    EXPECT_EQ(rawValue(MacKey::option), 0x3A);
    EXPECT_EQ(rawValue(MacKey::control), 0x3B);
    EXPECT_EQ(rawValue(MacKey::function), 0x3F);
    EXPECT_EQ(rawValue(MacKey::f1), 0x7A);
    EXPECT_EQ(rawValue(MacKey::f12), 0x6F);
    EXPECT_EQ(rawValue(MacKey::leftArrow), 0x7B);
    EXPECT_EQ(rawValue(MacKey::upArrow), 0x7E);
    EXPECT_EQ(rawValue(MacKey::forwardDelete), 0x75);
}

TEST(MacKey, RightHandModifiersAndGapsAreNoKeys) {
    for (std::uint16_t raw :
         std::initializer_list<std::uint16_t>{0x0A, 0x34, 0x36, 0x3C, 0x3D, 0x3E, 0x40, 0x72, 0x7F, 0x80, 0xFFFF}) {
        EXPECT_FALSE(macKey(raw)) << raw;
    }
}

TEST(MacKey, OnlyTheFiveModifierKeysHaveAFlag) {
    EXPECT_EQ(modifierFlag(MacKey::command), ModifierFlags::command);
    EXPECT_EQ(modifierFlag(MacKey::shift), ModifierFlags::shift);
    EXPECT_EQ(modifierFlag(MacKey::option), ModifierFlags::option);
    EXPECT_EQ(modifierFlag(MacKey::control), ModifierFlags::control);
    EXPECT_EQ(modifierFlag(MacKey::function), ModifierFlags::function);
    int flagged = 0;
    for (auto key : allMacKeys) flagged += modifierFlag(key).has_value();
    EXPECT_EQ(flagged, 5);
    EXPECT_FALSE(modifierFlag(MacKey::capsLock));
}

TEST(MacKey, NamesAreDistinctAndLeadBack) {
    std::set<std::string> lowerNames;
    for (auto key : allMacKeys) {
        std::string text(name(key));
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(macKeyNamed(text), key) << text;
        for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        lowerNames.insert(text);
        EXPECT_EQ(macKeyNamed(text), key) << text;
    }
    EXPECT_EQ(lowerNames.size(), 79u);
}

TEST(MacKey, Aliases) {
    EXPECT_EQ(macKeyNamed("Enter"), MacKey::returnKey);
    EXPECT_EQ(macKeyNamed("ESC"), MacKey::escape);
    EXPECT_EQ(macKeyNamed("backspace"), MacKey::deleteKey);
    EXPECT_EQ(macKeyNamed("left"), MacKey::leftArrow);
    EXPECT_EQ(macKeyNamed("="), MacKey::equal);
    EXPECT_EQ(macKeyNamed("`"), MacKey::grave);
    EXPECT_FALSE(macKeyNamed(""));
    EXPECT_FALSE(macKeyNamed("f13"));
    EXPECT_FALSE(macKeyNamed("rightCommand"));
}

TEST(ModifierFlags, Values) {
    EXPECT_EQ(ModifierFlags::command.rawValue, 1u);
    EXPECT_EQ(ModifierFlags::shift.rawValue, 2u);
    EXPECT_EQ(ModifierFlags::option.rawValue, 4u);
    EXPECT_EQ(ModifierFlags::control.rawValue, 8u);
    EXPECT_EQ(ModifierFlags::function.rawValue, 16u);
    auto set = ModifierFlags::command | ModifierFlags::control;
    EXPECT_EQ(set - ModifierFlags::command, ModifierFlags::control);
    EXPECT_TRUE((set - set).isEmpty());
}
