#include "orvik/protocol/messages/ScreenFrameAssembler.hpp"

#include <gtest/gtest.h>

#include <algorithm>

using namespace orvik;

namespace {

// A frame of `size` bytes whose content depends on the sequence number, cut into fragments.
std::vector<ScreenFrame> fragmentsOf(std::uint32_t sequence, std::size_t size, bool keyframe = false) {
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(sequence + i * 7);
    EncodedScreenFrame frame{sequence, keyframe, sequence * 1000ull, data};
    return *frame.fragments();
}

EncodedScreenFrame wholeFrame(std::uint32_t sequence, std::size_t size, bool keyframe = false) {
    Bytes data;
    for (const auto& fragment : fragmentsOf(sequence, size, keyframe)) {
        data.insert(data.end(), fragment.data.begin(), fragment.data.end());
    }
    return {sequence, keyframe, sequence * 1000ull, data};
}

constexpr std::size_t threeFragments = 2 * ScreenFrame::maxFragmentData + 10;

} // namespace

TEST(ScreenFrameAssembler, PutsFragmentsTogetherInAnyOrder) {
    ScreenFrameAssembler assembler;
    auto fragments = fragmentsOf(4, threeFragments, true);
    EXPECT_FALSE(assembler.add(fragments[2]));
    EXPECT_FALSE(assembler.add(fragments[0]));
    auto frame = assembler.add(fragments[1]);
    ASSERT_TRUE(frame);
    EXPECT_EQ(*frame, wholeFrame(4, threeFragments, true));
    EXPECT_FALSE(assembler.hasUnfinishedFrame());

    auto single = fragmentsOf(5, 100);
    EXPECT_EQ(assembler.add(single[0]), wholeFrame(5, 100));
}

TEST(ScreenFrameAssembler, IgnoresDuplicatesAndLateFragmentsOfFinishedFrames) {
    ScreenFrameAssembler assembler;
    auto fragments = fragmentsOf(10, threeFragments);
    EXPECT_FALSE(assembler.add(fragments[0]));
    EXPECT_FALSE(assembler.add(fragments[0]));
    EXPECT_FALSE(assembler.add(fragments[1]));
    EXPECT_TRUE(assembler.add(fragments[2]));
    // A repeated fragment of the frame just delivered must not deliver it again.
    EXPECT_FALSE(assembler.add(fragments[2]));
    EXPECT_FALSE(assembler.hasUnfinishedFrame());
    auto oneFragment = fragmentsOf(10, 50);
    EXPECT_FALSE(assembler.add(oneFragment[0]));
}

TEST(ScreenFrameAssembler, NewerFrameDropsUnfinishedOlderOneAndOlderFragmentsAreIgnored) {
    ScreenFrameAssembler assembler;
    auto older = fragmentsOf(20, threeFragments);
    auto newer = fragmentsOf(21, threeFragments);
    EXPECT_FALSE(assembler.add(older[0]));
    EXPECT_FALSE(assembler.add(newer[1]));
    EXPECT_FALSE(assembler.add(older[1]));
    EXPECT_FALSE(assembler.add(older[2]));
    EXPECT_FALSE(assembler.add(newer[0]));
    EXPECT_EQ(assembler.add(newer[2]), wholeFrame(21, threeFragments));
    // The dropped frame stays dropped.
    EXPECT_FALSE(assembler.add(older[0]));
    EXPECT_FALSE(assembler.hasUnfinishedFrame());
}

TEST(ScreenFrameAssembler, SequenceNumbersWrapAround) {
    ScreenFrameAssembler assembler;
    auto last = fragmentsOf(0xFFFFFFFF, threeFragments);
    auto first = fragmentsOf(0, 10);
    EXPECT_FALSE(assembler.add(last[0]));
    EXPECT_EQ(assembler.add(first[0]), wholeFrame(0, 10));
    EXPECT_FALSE(assembler.add(last[1]));
    EXPECT_FALSE(assembler.add(last[2]));
    EXPECT_EQ(assembler.add(fragmentsOf(1, 10)[0]), wholeFrame(1, 10));
}

TEST(ScreenFrameAssembler, InconsistentFragmentsDropTheirFrame) {
    auto fragments = fragmentsOf(30, threeFragments, true);
    auto changed = [&](auto change) {
        auto fragment = fragments[1];
        change(fragment);
        return fragment;
    };
    for (auto bad :
         {changed([](ScreenFrame& f) { f.fragmentCount = 4; }), changed([](ScreenFrame& f) { f.isKeyframe = false; }),
          changed([](ScreenFrame& f) { f.captureTime += 1; })}) {
        ScreenFrameAssembler assembler;
        EXPECT_FALSE(assembler.add(fragments[0]));
        EXPECT_FALSE(assembler.add(bad));
        EXPECT_FALSE(assembler.hasUnfinishedFrame());
        EXPECT_FALSE(assembler.add(fragments[1]));
        EXPECT_FALSE(assembler.add(fragments[2]));
        EXPECT_EQ(assembler.add(fragmentsOf(31, 10)[0]), wholeFrame(31, 10));
    }
}

TEST(ScreenFrameAssembler, FragmentsBeyondTheLimitsAreIgnored) {
    ScreenFrameAssembler assembler;
    ScreenFrame tooMany{.sequence = 1, .fragmentIndex = 0, .fragmentCount = 65, .data = Bytes(1)};
    ScreenFrame noCount{.sequence = 1, .fragmentIndex = 0, .fragmentCount = 0, .data = Bytes(1)};
    ScreenFrame badIndex{.sequence = 1, .fragmentIndex = 1, .fragmentCount = 1, .data = Bytes(1)};
    ScreenFrame tooLarge{
        .sequence = 1, .fragmentIndex = 0, .fragmentCount = 1, .data = Bytes(ScreenFrame::maxFragmentData + 1)};
    for (const auto& fragment : {tooMany, noCount, badIndex, tooLarge}) {
        EXPECT_FALSE(assembler.add(fragment));
        EXPECT_FALSE(assembler.hasUnfinishedFrame());
    }
    // The largest frame there is still goes through.
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
    EXPECT_EQ(assembler.add(fragmentsOf(1, 10)[0]), wholeFrame(1, 10));
}
