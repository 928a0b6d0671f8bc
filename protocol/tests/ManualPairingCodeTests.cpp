#include "orvik/protocol/pairing/ManualPairingCode.hpp"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <string>

using namespace orvik;

namespace {

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

std::uint8_t gfMultiply(std::uint8_t a, std::uint8_t b) {
    std::uint8_t product = 0;
    for (int bit = 4; bit >= 0; --bit) {
        product = static_cast<std::uint8_t>(product << 1);
        if (product & 0x20) product ^= 0x25;
        if (b >> bit & 1) product ^= a;
    }
    return product;
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
    ManualPairingCode example{
        {0x8D, 0x3F, 0x2A, 0x9C, 0x41, 0xE0, 0x7B, 0x55, 0xC2, 0x19, 0x6F, 0xA0, 0xD4, 0xE8, 0xB3}};
    EXPECT_EQ(example.formatted(), "HMZJN-721W1-XNBGG-SDYGD-9T5K1");
    EXPECT_EQ(example.formatted().size(), 29u);
}

TEST(ManualPairingCode, FromSecretTakesTheFirstFifteenBytes) {
    Bytes secret(32);
    std::iota(secret.begin(), secret.end(), 100);
    auto code = ManualPairingCode::fromPairingSecret(secret);
    ASSERT_TRUE(code);
    EXPECT_EQ(Bytes(code->bytes.begin(), code->bytes.end()), Bytes(secret.begin(), secret.begin() + 15));
    EXPECT_TRUE(ManualPairingCode::fromPairingSecret(Bytes(15, 1)));
    EXPECT_FALSE(ManualPairingCode::fromPairingSecret(Bytes(14, 1)));
    EXPECT_FALSE(ManualPairingCode::fromPairingSecret({}));
}

TEST(ManualPairingCode, ParseAcceptsWhatPeopleType) {
    ManualPairingCode example{
        {0x8D, 0x3F, 0x2A, 0x9C, 0x41, 0xE0, 0x7B, 0x55, 0xC2, 0x19, 0x6F, 0xA0, 0xD4, 0xE8, 0xB3}};
    for (const char* typed :
         {"HMZJN-721W1-XNBGG-SDYGD-9T5K1", "hmzjn721w1xnbggsdygd9t5k1", "HMZJN 721W1 XNBGG SDYGD 9T5K1",
          "hmzjn-72Iwl-xnbgg-sdygd-9t5k1", " H-M-Z-J-N 721W1\tXNBGG-SDYGD-9T5K1 "}) {
        EXPECT_EQ(ManualPairingCode::parse(typed), example) << typed;
    }
    EXPECT_EQ(ManualPairingCode::parse("oOoOo-00000-00000-00000-00000"), ManualPairingCode{});
}

TEST(ManualPairingCode, ParseRejectsWrongLengthAndForeignCharacters) {
    for (const char* bad :
         {"", "HMZJN-721W1-XNBGG-SDYGD-9T5K", "HMZJN-721W1-XNBGG-SDYGD-9T5K1-0", "HMZJN-721W1-XNBGG-SDYGD-9T5KU",
          "HMZJN_721W1-XNBGG-SDYGD-9T5K1", "HMZJN-721W1-XNBGG-SDYGD-9T5K1\xC3\xA9", "HMZJN-721W1-XNBGG-SDYGD-9T5K2"}) {
        EXPECT_FALSE(ManualPairingCode::parse(bad)) << bad;
    }
}

TEST(ManualPairingCode, RoundTripsRandomCodes) {
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        auto code = randomCode(random);
        EXPECT_EQ(ManualPairingCode::parse(code.formatted()), code);
    }
}

TEST(ManualPairingCode, CatchesEverySingleWrongSymbol) {
    std::mt19937 random(11);
    for (int i = 0; i < 300; ++i) {
        auto text = symbolsText(randomCode(random));
        for (std::size_t position = 0; position < text.size(); ++position) {
            for (char replacement : ManualPairingCode::alphabet) {
                if (replacement == text[position]) continue;
                auto changed = text;
                changed[position] = replacement;
                ASSERT_FALSE(ManualPairingCode::parse(changed)) << text << " -> " << changed;
            }
        }
    }
}

TEST(ManualPairingCode, CatchesEverySwapOfNeighboursIncludingTheCheckSymbol) {
    std::mt19937 random(13);
    int swaps = 0;
    for (int i = 0; i < 3000; ++i) {
        auto text = symbolsText(randomCode(random));
        for (std::size_t position = 0; position + 1 < text.size(); ++position) {
            if (text[position] == text[position + 1]) continue;
            auto swapped = text;
            std::swap(swapped[position], swapped[position + 1]);
            ASSERT_FALSE(ManualPairingCode::parse(swapped)) << text << " -> " << swapped;
            ++swaps;
        }
    }
    EXPECT_GT(swaps, 60000);
}

TEST(ManualPairingCode, CombineIsATotallyAntiSymmetricQuasigroup) {
    for (unsigned x = 0; x < 32; ++x) {
        bool rowSeen[32] = {};
        bool columnSeen[32] = {};
        for (unsigned y = 0; y < 32; ++y) {
            auto value = ManualPairingCode::combine(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y));
            ASSERT_LT(value, 32);
            EXPECT_EQ(value, gfMultiply(2, static_cast<std::uint8_t>(x)) ^ y);
            rowSeen[value] = true;
            columnSeen[ManualPairingCode::combine(static_cast<std::uint8_t>(y), static_cast<std::uint8_t>(x))] = true;
        }
        for (unsigned v = 0; v < 32; ++v) {
            ASSERT_TRUE(rowSeen[v] && columnSeen[v]) << "not a Latin square at " << x;
        }
    }
    for (unsigned c = 0; c < 32; ++c) {
        for (unsigned x = 0; x < 32; ++x) {
            for (unsigned y = 0; y < 32; ++y) {
                auto cx = ManualPairingCode::combine(static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(x));
                auto cy = ManualPairingCode::combine(static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(y));
                bool same = ManualPairingCode::combine(cx, static_cast<std::uint8_t>(y)) ==
                            ManualPairingCode::combine(cy, static_cast<std::uint8_t>(x));
                ASSERT_EQ(same, x == y) << c << " " << x << " " << y;
            }
        }
    }
}

TEST(ManualPairingCode, CheckSymbolBringsTheInterimToZero) {
    std::mt19937 random(17);
    for (int i = 0; i < 500; ++i) {
        auto symbols = randomCode(random).symbols();
        std::uint8_t interim = 0;
        for (std::size_t k = 0; k < ManualPairingCode::dataSymbolCount; ++k) {
            interim = ManualPairingCode::combine(interim, symbols[k]);
        }
        EXPECT_EQ(ManualPairingCode::combine(interim, symbols.back()), 0);
    }
}
