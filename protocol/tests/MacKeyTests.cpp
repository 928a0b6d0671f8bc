#include "orvik/protocol/keys/MacKey.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

using namespace orvik;

TEST(MacKey, SeventyNineKeysEachNamedByItsCodeAndNoOtherCodeIsAKey) {
    int named = 0;
    for (std::uint32_t raw = 0; raw <= 0xFFFF; ++raw) {
        auto key = macKey(static_cast<std::uint16_t>(raw));
        if (!key) continue;
        ++named;
        EXPECT_EQ(rawValue(*key), raw);
    }
    EXPECT_EQ(named, 79);
    EXPECT_TRUE(std::is_sorted(allMacKeys.begin(), allMacKeys.end()));
    for (int rightHand : {0x36, 0x3C, 0x3D, 0x3E}) EXPECT_FALSE(macKey(static_cast<std::uint16_t>(rightHand)));
}

TEST(MacKey, OnlyTheFiveModifierKeysHaveAFlag) {
    int flagged = 0;
    for (auto key : allMacKeys) flagged += modifierFlag(key).has_value();
    EXPECT_EQ(flagged, 5);
    EXPECT_EQ(modifierFlag(MacKey::command), ModifierFlags::command);
    EXPECT_EQ(modifierFlag(MacKey::function), ModifierFlags::function);
    EXPECT_FALSE(modifierFlag(MacKey::capsLock));
}

TEST(MacKey, NamesInAnyCaseAndAliasesLeadBack) {
    std::set<std::string> lowerNames;
    for (auto key : allMacKeys) {
        std::string text(name(key));
        EXPECT_EQ(macKeyNamed(text), key) << text;
        std::transform(text.begin(), text.end(), text.begin(),
                       [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
        EXPECT_EQ(macKeyNamed(text), key) << text;
        lowerNames.insert(text);
    }
    EXPECT_EQ(lowerNames.size(), 79u);
    EXPECT_EQ(macKeyNamed("Enter"), MacKey::returnKey);
    EXPECT_EQ(macKeyNamed("ESC"), MacKey::escape);
    EXPECT_EQ(macKeyNamed("backspace"), MacKey::deleteKey);
    EXPECT_EQ(macKeyNamed("left"), MacKey::leftArrow);
    EXPECT_EQ(macKeyNamed("`"), MacKey::grave);
    for (const char* none : {"", "f13", "rightCommand"}) EXPECT_FALSE(macKeyNamed(none)) << none;
}
