#include "orvik/protocol/pairing/ManualPairingCode.hpp"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <string>

using namespace orvik;

namespace {

const ManualPairingCode example{
    {0x8D, 0x3F, 0x2A, 0x9C, 0x41, 0xE0, 0x7B, 0x55, 0xC2, 0x19, 0x6F, 0xA0, 0xD4, 0xE8, 0xB3}};

ManualPairingCode randomCode(std::mt19937& random) {
    ManualPairingCode code;
    for (auto& byte : code.bytes) byte = static_cast<std::uint8_t>(random());
    return code;
}

std::string symbolsText(const ManualPairingCode& code) {
    std::string text;
    for (auto symbol : code.symbols()) text.push_back(ManualPairingCode::alphabet[symbol]);
    return text;
}

} // namespace

TEST(ManualPairingCode, KnownCodes) {
    ManualPairingCode counting;
    std::iota(counting.bytes.begin(), counting.bytes.end(), 0);
    EXPECT_EQ(counting.formatted(), "000G4-0R40M-30E20-9185G-R38ED");
    EXPECT_EQ(ManualPairingCode{}.formatted(), "00000-00000-00000-00000-00000");
    ManualPairingCode ones;
    ones.bytes.fill(0xFF);
    EXPECT_EQ(ones.formatted(), "ZZZZZ-ZZZZZ-ZZZZZ-ZZZZZ-ZZZZW");
    EXPECT_EQ(example.formatted(), "HMZJN-721W1-XNBGG-SDYGD-9T5K1");
    // From a secret: its first fifteen bytes.
    Bytes secret(32);
    std::iota(secret.begin(), secret.end(), 0);
    EXPECT_EQ(ManualPairingCode::fromPairingSecret(secret), counting);
    EXPECT_FALSE(ManualPairingCode::fromPairingSecret(Bytes(14, 1)));
}

TEST(ManualPairingCode, ParseAcceptsWhatPeopleTypeAndNothingElse) {
    for (const char* typed :
         {"HMZJN-721W1-XNBGG-SDYGD-9T5K1", "hmzjn721w1xnbggsdygd9t5k1", "HMZJN 721W1 XNBGG SDYGD 9T5K1",
          "hmzjn-72Iwl-xnbgg-sdygd-9t5k1", " H-M-Z-J-N 721W1\tXNBGG-SDYGD-9T5K1 "}) {
        EXPECT_EQ(ManualPairingCode::parse(typed), example) << typed;
    }
    EXPECT_EQ(ManualPairingCode::parse("oOoOo-00000-00000-00000-00000"), ManualPairingCode{});
    for (const char* bad :
         {"", "HMZJN-721W1-XNBGG-SDYGD-9T5K", "HMZJN-721W1-XNBGG-SDYGD-9T5K1-0", "HMZJN-721W1-XNBGG-SDYGD-9T5KU",
          "HMZJN_721W1-XNBGG-SDYGD-9T5K1", "HMZJN-721W1-XNBGG-SDYGD-9T5K1\xC3\xA9", "HMZJN-721W1-XNBGG-SDYGD-9T5K2"}) {
        EXPECT_FALSE(ManualPairingCode::parse(bad)) << bad;
    }
}

// Random codes read back, and every single wrong symbol and every swap of two different neighbours (the check
// symbol included) is refused.
TEST(ManualPairingCode, RoundTripsAndCatchesEveryWrongSymbolAndSwap) {
    std::mt19937 random(11);
    int swaps = 0;
    for (int i = 0; i < 3000; ++i) {
        auto code = randomCode(random);
        ASSERT_EQ(ManualPairingCode::parse(code.formatted()), code);
        auto text = symbolsText(code);
        for (std::size_t position = 0; position < text.size(); ++position) {
            if (i < 300) {
                for (char replacement : ManualPairingCode::alphabet) {
                    if (replacement == text[position]) continue;
                    auto changed = text;
                    changed[position] = replacement;
                    ASSERT_FALSE(ManualPairingCode::parse(changed)) << text << " -> " << changed;
                }
            }
            if (position + 1 == text.size() || text[position] == text[position + 1]) continue;
            auto swapped = text;
            std::swap(swapped[position], swapped[position + 1]);
            ASSERT_FALSE(ManualPairingCode::parse(swapped)) << text << " -> " << swapped;
            ++swaps;
        }
    }
    EXPECT_GT(swaps, 60000);
}
