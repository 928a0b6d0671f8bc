#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/keys/KeyCombo.hpp"
#include "orvik/protocol/keys/KeyComboJson.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace orvik;

TEST(KeyCombo, PrintsModifiersInCanonicalOrderAndParsesAnyCaseOrderAndSpelling) {
    const auto all = ModifierFlags::function | ModifierFlags::command | ModifierFlags::shift | ModifierFlags::option |
                     ModifierFlags::control;
    const std::pair<KeyCombo, const char*> printed[] = {
        {{MacKey::v, ModifierFlags::command}, "cmd+v"},
        {{MacKey::q, ModifierFlags::command | ModifierFlags::control}, "ctrl+cmd+q"},
        {{MacKey::returnKey, {}}, "return"},
        {{MacKey::leftArrow, all}, "ctrl+opt+shift+cmd+fn+leftArrow"},
        {{MacKey::digit5, ModifierFlags::shift}, "shift+5"},
    };
    for (const auto& [combo, text] : printed) EXPECT_EQ(combo.text(), text);
    const std::pair<const char*, KeyCombo> parsed[] = {
        {"shift+cmd+v", {MacKey::v, ModifierFlags::command | ModifierFlags::shift}},
        {" CMD + Shift + V ", {MacKey::v, ModifierFlags::command | ModifierFlags::shift}},
        {"command+shift+v", {MacKey::v, ModifierFlags::command | ModifierFlags::shift}},
        {"alt+f4", {MacKey::f4, ModifierFlags::option}},
        {"control+option+function+esc",
         {MacKey::escape, ModifierFlags::control | ModifierFlags::option | ModifierFlags::function}},
        {"cmd+=", {MacKey::equal, ModifierFlags::command}},
        {"cmd+-", {MacKey::minus, ModifierFlags::command}},
        // The last part is the key, even when it names a modifier key.
        {"shift", {MacKey::shift, {}}},
        {"cmd+command", {MacKey::command, ModifierFlags::command}},
    };
    for (const auto& [text, combo] : parsed) EXPECT_EQ(KeyCombo::parse(text), combo) << text;
}

TEST(KeyCombo, RejectsInvalidText) {
    for (const char* bad : {"", "cmd", "+", "v+", "+v", "cmd++v", "cmd+ +v", "cmd+cmd+v", "cmd+command+v", "alt+opt+v",
                            "hyper+v", "cmd+f13", "cmd+v+shift", "cmd+rightCommand", "cmd-v", "v v", "cmd+v\n+x"}) {
        EXPECT_FALSE(KeyCombo::parse(bad)) << bad;
    }
}

TEST(KeyCombo, EveryKeyWithEveryModifierSetRoundTrips) {
    for (auto key : allMacKeys) {
        for (std::uint32_t bits = 0; bits < 32; ++bits) {
            KeyCombo combo{key, ModifierFlags(bits)};
            EXPECT_EQ(KeyCombo::parse(combo.text()), combo) << combo.text();
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
    auto kindAndText = [](const std::function<void()>& read) -> std::pair<DecodingError::Kind, std::string> {
        try {
            read();
        } catch (const DecodingError& error) {
            return {error.kind(), error.what()};
        }
        return {};
    };
    auto [kind, text] = kindAndText([] { keyComboFromJson("cmd+nope"); });
    EXPECT_EQ(kind, DecodingError::Kind::invalidValue);
    EXPECT_NE(text.find("Invalid key combo cmd+nope"), std::string::npos) << text;
    EXPECT_EQ(kindAndText([] { nlohmann::json::parse("[12]").get<std::vector<KeyCombo>>(); }).first,
              DecodingError::Kind::malformedPayload);
}
