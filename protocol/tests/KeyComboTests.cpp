#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/keys/KeyCombo.hpp"
#include "orvik/protocol/keys/KeyComboJson.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orvik;

TEST(KeyCombo, PrintsModifiersInCanonicalOrder) {
    EXPECT_EQ((KeyCombo{MacKey::v, ModifierFlags::command}.text()), "cmd+v");
    EXPECT_EQ((KeyCombo{MacKey::q, ModifierFlags::command | ModifierFlags::control}.text()), "ctrl+cmd+q");
    EXPECT_EQ((KeyCombo{MacKey::returnKey, {}}.text()), "return");
    auto all = ModifierFlags::function | ModifierFlags::command | ModifierFlags::shift | ModifierFlags::option |
               ModifierFlags::control;
    EXPECT_EQ((KeyCombo{MacKey::leftArrow, all}.text()), "ctrl+opt+shift+cmd+fn+leftArrow");
    EXPECT_EQ((KeyCombo{MacKey::digit5, ModifierFlags::shift}.text()), "shift+5");
}

TEST(KeyCombo, ParsesAnyCaseOrderAndSpelling) {
    auto expected = KeyCombo{MacKey::v, ModifierFlags::command | ModifierFlags::shift};
    for (const char* text : {"cmd+shift+v", "shift+cmd+v", "CMD+Shift+V", "command+shift+v", " cmd + shift + v "}) {
        EXPECT_EQ(KeyCombo::parse(text), expected) << text;
    }
    EXPECT_EQ(KeyCombo::parse("alt+f4"), (KeyCombo{MacKey::f4, ModifierFlags::option}));
    EXPECT_EQ(KeyCombo::parse("control+option+function+esc"),
              (KeyCombo{MacKey::escape, ModifierFlags::control | ModifierFlags::option | ModifierFlags::function}));
    EXPECT_EQ(KeyCombo::parse("cmd+="), (KeyCombo{MacKey::equal, ModifierFlags::command}));
    EXPECT_EQ(KeyCombo::parse("cmd+-"), (KeyCombo{MacKey::minus, ModifierFlags::command}));
}

TEST(KeyCombo, LastPartIsTheKeyEvenWhenItIsAModifierKey) {
    EXPECT_EQ(KeyCombo::parse("shift"), (KeyCombo{MacKey::shift, {}}));
    EXPECT_EQ(KeyCombo::parse("cmd+shift"), (KeyCombo{MacKey::shift, ModifierFlags::command}));
    EXPECT_EQ(KeyCombo::parse("cmd+command"), (KeyCombo{MacKey::command, ModifierFlags::command}));
    EXPECT_FALSE(KeyCombo::parse("cmd"));
}

TEST(KeyCombo, RejectsInvalidText) {
    for (const char* bad : {"", "+", "v+", "+v", "cmd++v", "cmd+ +v", "cmd+cmd+v", "cmd+command+v", "alt+opt+v",
                            "hyper+v", "cmd+f13", "cmd+v+shift", "cmd+rightCommand", "cmd-v", "v v", "cmd+v\n+x"}) {
        EXPECT_FALSE(KeyCombo::parse(bad)) << bad;
    }
}

TEST(KeyCombo, EveryKeyWithEveryModifierSetRoundTrips) {
    for (auto key : allMacKeys) {
        for (std::uint32_t bits = 0; bits < 32; ++bits) {
            KeyCombo combo{key, ModifierFlags(bits)};
            auto text = combo.text();
            EXPECT_EQ(KeyCombo::parse(text), combo) << text;
        }
    }
}

TEST(KeyComboJson, ReadsAndWritesTheTextForm) {
    auto json = nlohmann::json::parse(R"(["ctrl+cmd+q", "right", "Shift+F5"])");
    auto combos = json.get<std::vector<KeyCombo>>();
    ASSERT_EQ(combos.size(), 3u);
    EXPECT_EQ(combos[0], (KeyCombo{MacKey::q, ModifierFlags::control | ModifierFlags::command}));
    EXPECT_EQ(combos[1], (KeyCombo{MacKey::rightArrow, {}}));
    EXPECT_EQ(combos[2], (KeyCombo{MacKey::f5, ModifierFlags::shift}));
    EXPECT_EQ(nlohmann::json(combos).dump(), R"(["ctrl+cmd+q","rightArrow","shift+f5"])");
    EXPECT_EQ(toJson(combos[0]), "ctrl+cmd+q");
}

TEST(KeyComboJson, BadTextNamesTheString) {
    try {
        keyComboFromJson("cmd+nope");
        FAIL() << "parsed";
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.kind(), DecodingError::Kind::invalidValue);
        EXPECT_NE(std::string(error.what()).find("Invalid key combo cmd+nope"), std::string::npos) << error.what();
    }
    try {
        nlohmann::json::parse(R"([12])").get<std::vector<KeyCombo>>();
        FAIL() << "parsed";
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.kind(), DecodingError::Kind::malformedPayload);
    }
}
