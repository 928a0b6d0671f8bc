#include "orvik/protocol/messages/ScreenFrameAssembler.hpp"

#include <gtest/gtest.h>

#include <algorithm>

using namespace orvik;

namespace {

// A frame of `size` bytes whose content depends on the sequence number.
EncodedScreenFrame frameOf(std::uint32_t sequence, std::size_t size, bool keyframe = false) {
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(sequence + i * 7);
    return {sequence, keyframe, sequence * 1000ull, data};
}

std::vector<ScreenFrame> fragmentsOf(std::uint32_t sequence, std::size_t size, bool keyframe = false) {
    return *frameOf(sequence, size, keyframe).fragments();
}

constexpr std::size_t threeFragments = 2 * ScreenFrame::maxFragmentData + 10;

} // namespace

TEST(ScreenFrameAssembler, PutsFragmentsTogetherInAnyOrderOnceEach) {
    ScreenFrameAssembler assembler;
    auto fragments = fragmentsOf(4, threeFragments, true);
    EXPECT_FALSE(assembler.add(fragments[2]));
    EXPECT_FALSE(assembler.add(fragments[0]));
    EXPECT_FALSE(assembler.add(fragments[0]));
    EXPECT_EQ(assembler.add(fragments[1]), frameOf(4, threeFragments, true));
    EXPECT_FALSE(assembler.hasUnfinishedFrame());
    // A repeated fragment of the frame just delivered, or another frame with its number, delivers nothing.
    EXPECT_FALSE(assembler.add(fragments[2]));
    EXPECT_FALSE(assembler.add(fragmentsOf(4, 50)[0]));
    EXPECT_EQ(assembler.add(fragmentsOf(5, 100)[0]), frameOf(5, 100));
}

TEST(ScreenFrameAssembler, ANewerFrameDropsTheUnfinishedOneAcrossTheWrap) {
    ScreenFrameAssembler assembler;
    auto older = fragmentsOf(0xFFFFFFFF, threeFragments);
    auto newer = fragmentsOf(0, threeFragments);
    EXPECT_FALSE(assembler.add(older[0]));
    EXPECT_FALSE(assembler.add(newer[1]));
    EXPECT_FALSE(assembler.add(older[1]));
    EXPECT_FALSE(assembler.add(older[2]));
    EXPECT_FALSE(assembler.add(newer[0]));
    EXPECT_EQ(assembler.add(newer[2]), frameOf(0, threeFragments));
    EXPECT_FALSE(assembler.add(older[0])); // the dropped frame stays dropped
    EXPECT_FALSE(assembler.hasUnfinishedFrame());
    EXPECT_EQ(assembler.add(fragmentsOf(1, 10)[0]), frameOf(1, 10));
}

TEST(ScreenFrameAssembler, InconsistentFragmentsDropTheirFrame) {
    auto fragments = fragmentsOf(30, threeFragments, true);
    for (int change = 0; change < 3; ++change) {
        ScreenFrameAssembler assembler;
        auto bad = fragments[1];
        if (change == 0) bad.fragmentCount = 4;
        if (change == 1) bad.isKeyframe = false;
        if (change == 2) bad.captureTime += 1;
        EXPECT_FALSE(assembler.add(fragments[0]));
        EXPECT_FALSE(assembler.add(bad));
        EXPECT_FALSE(assembler.hasUnfinishedFrame()) << change;
        EXPECT_FALSE(assembler.add(fragments[1]));
        EXPECT_FALSE(assembler.add(fragments[2]));
        EXPECT_EQ(assembler.add(fragmentsOf(31, 10)[0]), frameOf(31, 10));
    }
}

TEST(ScreenFrameAssembler, FragmentsBeyondTheLimitsAreIgnoredAndTheLargestFrameGoesThrough) {
    ScreenFrameAssembler assembler;
    for (auto [index, count, size] : {std::tuple<std::uint16_t, std::uint16_t, std::size_t>{0, 65, 1},
                                      {0, 0, 1},
                                      {1, 1, 1},
                                      {0, 1, ScreenFrame::maxFragmentData + 1}}) {
        EXPECT_FALSE(assembler.add(ScreenFrame{1, false, index, count, 0, Bytes(size)}));
        EXPECT_FALSE(assembler.hasUnfinishedFrame());
    }
    auto largest = fragmentsOf(2, EncodedScreenFrame::maxBytes);
    ASSERT_EQ(largest.size(), 64u);
    std::reverse(largest.begin(), largest.end());
    std::optional<EncodedScreenFrame> frame;
    for (const auto& fragment : largest) frame = assembler.add(fragment);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->data.size(), EncodedScreenFrame::maxBytes);
}

TEST(ScreenFrameAssembler, ResetForgetsFinishedFrames) {
    ScreenFrameAssembler assembler;
    EXPECT_TRUE(assembler.add(fragmentsOf(500, 10)[0]));
    EXPECT_FALSE(assembler.add(fragmentsOf(1, 10)[0]));
    assembler.reset();
    EXPECT_EQ(assembler.add(fragmentsOf(1, 10)[0]), frameOf(1, 10));
}
