#include "platform/DisplayIdentifiers.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

std::vector<std::string> names(const std::vector<DisplayInfo>& displays) {
    std::vector<std::string> result;
    result.reserve(displays.size());
    for (const auto& display : displays) result.push_back(display.name);
    return result;
}

TEST(DisplayIdentifiers, identifierIsTheFnv1aHashOfTheName) {
    // Reference values of 32-bit FNV-1a.
    EXPECT_EQ(DisplayIdentifiers::idForName(""), 2166136261u);
    EXPECT_EQ(DisplayIdentifiers::idForName("a"), 0xE40C292Cu);
    EXPECT_EQ(DisplayIdentifiers::idForName("foobar"), 0xBF9CF968u);
    EXPECT_NE(DisplayIdentifiers::idForName("DP-1"), DisplayIdentifiers::idForName("DP-2"));
}

// Monitors without area are left out.
TEST(DisplayIdentifiers, primaryComesFirstThenLeftToRightThenTopToBottom) {
    auto displays = DisplayIdentifiers::arrange({
        {"right", {3840, 0, 1920, 1080}, false},
        {"below", {0, 1080, 1920, 1080}, false},
        {"off", {0, 0, 0, 1080}, false},
        {"left", {0, 0, 1920, 1080}, false},
        {"middle", {1920, 0, 1920, 1080}, true},
        {"flat", {0, 0, 1920, 0}, false},
    });
    EXPECT_EQ(names(displays), (std::vector<std::string>{"middle", "left", "below", "right"}));
    EXPECT_TRUE(displays[0].primary);
    EXPECT_EQ(displays[1].bounds, (PixelRect{0, 0, 1920, 1080}));
    displays = DisplayIdentifiers::arrange({{"b", {1920, 0, 800, 600}, false}, {"a", {0, 0, 1920, 1080}, false}});
    EXPECT_EQ(names(displays), (std::vector<std::string>{"a", "b"})) << "without primary the position decides";
}

TEST(DisplayIdentifiers, identifiersDoNotDependOnOrderOrPosition) {
    auto first = DisplayIdentifiers::arrange({{"HDMI-1", {0, 0, 1920, 1080}, true}, {"DP-1", {1920, 0, 1280, 1024}}});
    auto moved = DisplayIdentifiers::arrange({{"DP-1", {0, 0, 1280, 1024}, true}, {"HDMI-1", {1280, 0, 1920, 1080}}});
    EXPECT_EQ(first[0].id, moved[1].id);
    EXPECT_EQ(first[1].id, moved[0].id);
    EXPECT_EQ(first[0].id, DisplayIdentifiers::idForName("HDMI-1"));
}

TEST(DisplayIdentifiers, collidingNamesStillGetDistinctNonZeroIdentifiers) {
    auto displays = DisplayIdentifiers::arrange({{"same", {0, 0, 10, 10}}, {"same", {10, 0, 10, 10}}});
    ASSERT_EQ(displays.size(), 2u);
    EXPECT_EQ(displays[0].id, DisplayIdentifiers::idForName("same"));
    EXPECT_EQ(displays[1].id, displays[0].id + 1);
}

} // namespace
} // namespace orvik::helper
