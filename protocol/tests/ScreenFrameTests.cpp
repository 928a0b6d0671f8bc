#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/messages/EncodedScreenFrame.hpp"
#include "orvik/protocol/messages/ScreenFrame.hpp"
#include "orvik/protocol/messages/ScreenFrameAssembler.hpp"

#include "DecodingFailure.hpp"

#include <gtest/gtest.h>

#include <tuple>

using namespace orvik;
using Kind = DecodingError::Kind;

namespace {

template <class T = ScreenFrame> std::optional<Kind> failure(const Bytes& payload) {
    return orvik::testing::failureOf([&] { T::decode(payload); });
}

// A fragment's bytes with the given header fields and `dataSize` bytes of data.
Bytes fragment(std::uint16_t index, std::uint16_t count, std::size_t dataSize, std::uint8_t keyframe = 0) {
    auto bytes = ScreenFrame{1, false, index, count, 0, Bytes(dataSize, 0x11)}.encode();
    bytes[4] = keyframe;
    return bytes;
}

} // namespace

TEST(ScreenFrame, GoldenLayouts) {
    ScreenFrame frame{0x0102, true, 1, 2, 0x0A0B, {0xDE, 0xAD}};
    Bytes bytes{0, 0, 1, 2, 1, 0, 1, 0, 2, 0, 0, 0, 0, 0, 0, 0x0A, 0x0B, 0xDE, 0xAD};
    EXPECT_EQ(frame.encode(), bytes);
    EXPECT_EQ(ScreenFrame::decode(bytes), frame);
    ScreenFrameAck ack{0xFFFFFFFE, 0x0102030405060708};
    Bytes ackBytes{0xFF, 0xFF, 0xFF, 0xFE, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(ack.encode(), ackBytes);
    EXPECT_EQ(ScreenFrameAck::decode(ackBytes), ack);
}

TEST(ScreenFrame, DecodingEnforcesTheFragmentLimits) {
    const std::pair<Bytes, std::optional<Kind>> cases[] = {
        {Bytes(16), Kind::unexpectedLength},
        {fragment(0, 1, 0), std::nullopt},
        {fragment(0, 1, ScreenFrame::maxFragmentData), std::nullopt},
        {fragment(0, 1, ScreenFrame::maxFragmentData + 1), Kind::unexpectedLength},
        {fragment(0, 0, 10), Kind::invalidValue},
        {fragment(63, 64, 10), std::nullopt},
        {fragment(0, 65, 10), Kind::invalidValue},
        {fragment(2, 2, 10), Kind::invalidValue},
        {fragment(0xFFFF, 1, 10), Kind::invalidValue},
        {fragment(0, 1, 10, 1), std::nullopt},
        {fragment(0, 1, 10, 2), Kind::invalidValue},
    };
    for (const auto& [bytes, result] : cases) EXPECT_EQ(failure(bytes), result) << bytes.size();
    EXPECT_EQ(failure<ScreenFrameAck>(Bytes(12)), std::nullopt);
    EXPECT_EQ(failure<ScreenFrameAck>(Bytes(11)), Kind::unexpectedLength);
    EXPECT_EQ(failure<ScreenFrameAck>(Bytes(13)), Kind::unexpectedLength);
}

TEST(EncodedScreenFrame, FragmentsAtTheBoundaries) {
    for (auto [size, expected] : {std::pair<std::size_t, std::size_t>{0, 0},
                                  {1, 1},
                                  {262'144, 1},
                                  {262'145, 2},
                                  {16'777'216, 64},
                                  {16'777'217, 0}}) {
        SCOPED_TRACE(size);
        Bytes data(size);
        for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 31 + (i >> 16));
        EncodedScreenFrame frame{.sequence = 77, .isKeyframe = true, .captureTime = 5, .data = data};
        auto fragments = frame.fragments();
        ASSERT_EQ(fragments.has_value(), expected > 0);
        if (!fragments) continue;
        ASSERT_EQ(fragments->size(), expected);
        Bytes joined;
        for (std::size_t i = 0; i < fragments->size(); ++i) {
            const auto& fragment = (*fragments)[i];
            EXPECT_EQ(std::tuple(fragment.sequence, fragment.isKeyframe, fragment.captureTime),
                      std::tuple(77u, true, 5u));
            EXPECT_EQ(fragment.fragmentIndex, i);
            EXPECT_EQ(fragment.fragmentCount, expected);
            EXPECT_EQ(fragment.data.size(), std::min<std::size_t>(262'144, size - i * 262'144));
            joined.insert(joined.end(), fragment.data.begin(), fragment.data.end());
        }
        EXPECT_EQ(joined, frame.data);
    }
}

TEST(ScreenFrameAssembler, IsNewerUsesWrappingSignedDifference) {
    const std::tuple<std::uint32_t, std::uint32_t, bool> cases[] = {
        {1, 0, true},           {0, 1, false},          {5, 5, false},          {0, 0xFFFFFFFF, true},
        {0xFFFFFFFF, 0, false}, {0x7FFFFFFF, 0, true},  {0x80000000, 0, false}, {0, 0x80000000, false},
        {0, 0x80000001, true},  {0x80000001, 0, false},
    };
    for (auto [a, b, newer] : cases) EXPECT_EQ(ScreenFrameAssembler::isNewer(a, b), newer) << a << " vs " << b;
}
