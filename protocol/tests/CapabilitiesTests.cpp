#include "orvik/protocol/coding/Capabilities.hpp"
#include "orvik/protocol/coding/ErrorCode.hpp"

#include <gtest/gtest.h>

#include <set>

using namespace orvik;

TEST(Capabilities, BitsAreTheWireValues) {
    const std::pair<Capabilities, std::uint64_t> bits[] = {
        {Capabilities::pointer, 0x1},           {Capabilities::keyboard, 0x2},
        {Capabilities::textPaste, 0x4},         {Capabilities::media, 1u << 3},
        {Capabilities::volumeSet, 1u << 4},     {Capabilities::presentation, 1u << 5},
        {Capabilities::overlay, 1u << 6},       {Capabilities::powerBasic, 1u << 7},
        {Capabilities::powerAdvanced, 1u << 8}, {Capabilities::sleepTimer, 1u << 9},
        {Capabilities::apps, 1u << 10},         {Capabilities::appQuit, 1u << 11},
        {Capabilities::shortcuts, 1u << 12},    {Capabilities::clipboard, 1u << 13},
        {Capabilities::sendURL, 1u << 14},      {Capabilities::scrollPhases, 0x8000},
        {Capabilities::screenStream, 0x10000},  {Capabilities::pointerAbsolute, 0x20000},
        {Capabilities::screenHEVC, 0x40000},
    };
    std::uint64_t all = 0;
    for (auto [capability, raw] : bits) {
        EXPECT_EQ(capability.rawValue, raw);
        EXPECT_EQ(all & raw, 0u) << "bit used twice: " << raw;
        all |= raw;
    }
    EXPECT_EQ(all, 0x7FFFFu);
}

TEST(Capabilities, SetOperations) {
    Capabilities set;
    EXPECT_TRUE(set.isEmpty());
    set.insert(Capabilities::pointer);
    set.insert(Capabilities::pointer);
    set = set.unionWith(Capabilities::screenStream | Capabilities::screenHEVC);
    EXPECT_EQ(set.rawValue, 0x50001u);
    EXPECT_TRUE(set.contains(Capabilities::screenStream | Capabilities::pointer));
    EXPECT_FALSE(set.contains(Capabilities::screenStream | Capabilities::keyboard));
    set.remove(Capabilities::screenStream);
    EXPECT_FALSE(set.contains(Capabilities::screenStream));
    EXPECT_EQ(set, Capabilities::pointer | Capabilities::screenHEVC);
    EXPECT_EQ(set - Capabilities::pointer, Capabilities::screenHEVC);
    EXPECT_EQ(set & Capabilities::pointer, Capabilities::pointer);
}

TEST(Capabilities, UnknownBitsSurvive) {
    Capabilities fromNewerPeer(0x8000'0000'0000'0001u);
    fromNewerPeer.insert(Capabilities::keyboard);
    EXPECT_EQ(fromNewerPeer.rawValue, 0x8000'0000'0000'0003u);
}

TEST(ErrorCode, CasesInOrderWithTheirNames) {
    const char* names[] = {"appTooOld",        "helperTooOld",  "unauthorized",   "pairingUnavailable",
                           "pairingDenied",    "deviceRemoved", "paused",         "permissionMissing",
                           "automationDenied", "notAllowed",    "notFound",       "invalidRequest",
                           "unsupported",      "rateLimited",   "cancelledByApp", "internalError"};
    ASSERT_EQ(allErrorCodes.size(), std::size(names));
    for (std::size_t i = 0; i < allErrorCodes.size(); ++i) {
        EXPECT_EQ(static_cast<std::size_t>(allErrorCodes[i]), i);
        EXPECT_STREQ(toString(allErrorCodes[i]), names[i]);
        EXPECT_EQ(errorCodeFromString(names[i]), allErrorCodes[i]);
    }
}

TEST(ErrorCode, UnknownTextIsAbsent) {
    for (const char* bad : {"", "Paused", "paused ", "notfound", "error"}) {
        EXPECT_FALSE(errorCodeFromString(bad)) << bad;
    }
}
