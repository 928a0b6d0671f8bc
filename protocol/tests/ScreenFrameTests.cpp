#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/messages/EncodedScreenFrame.hpp"
#include "orvik/protocol/messages/ScreenFrame.hpp"
#include "orvik/protocol/messages/ScreenFrameAssembler.hpp"

#include <gtest/gtest.h>

using namespace orvik;

namespace {

template <class T = ScreenFrame> DecodingError::Kind frameFailure(const Bytes& payload) {
    try {
        T::decode(payload);
    } catch (const DecodingError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "decoded";
    return DecodingError::Kind::truncated;
}

// A valid 17-byte header followed by `dataSize` bytes.
Bytes framePayload(std::uint16_t index, std::uint16_t count, std::size_t dataSize, std::uint8_t keyframe = 0) {
    Bytes payload{0,
                  0,
                  0,
                  1,
                  keyframe,
                  static_cast<std::uint8_t>(index >> 8),
                  static_cast<std::uint8_t>(index),
                  static_cast<std::uint8_t>(count >> 8),
                  static_cast<std::uint8_t>(count),
                  0,
                  0,
                  0,
                  0,
                  0,
                  0,
                  0,
                  0};
    payload.resize(payload.size() + dataSize, 0x11);
    return payload;
}

Bytes patterned(std::size_t size) {
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 31 + (i >> 16));
    return data;
}

} // namespace

TEST(ScreenFrame, GoldenLayouts) {
    ScreenFrame frame{.sequence = 0x0102,
                      .isKeyframe = true,
                      .fragmentIndex = 1,
                      .fragmentCount = 2,
                      .captureTime = 0x0A0B,
                      .data = {0xDE, 0xAD}};
    Bytes bytes{0, 0, 1, 2, 1, 0, 1, 0, 2, 0, 0, 0, 0, 0, 0, 0x0A, 0x0B, 0xDE, 0xAD};
    EXPECT_EQ(frame.encode(), bytes);
    EXPECT_EQ(ScreenFrame::decode(bytes), frame);

    ScreenFrameAck ack{0xFFFFFFFE, 0x0102030405060708};
    Bytes ackBytes{0xFF, 0xFF, 0xFF, 0xFE, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(ack.encode(), ackBytes);
    EXPECT_EQ(ScreenFrameAck::decode(ackBytes), ack);
}

TEST(ScreenFrame, DecodingEnforcesTheFragmentLimits) {
    using Kind = DecodingError::Kind;
    EXPECT_EQ(frameFailure(Bytes(16)), Kind::unexpectedLength);
    EXPECT_EQ(ScreenFrame::decode(framePayload(0, 1, 0)).data.size(), 0u);
    EXPECT_EQ(ScreenFrame::decode(framePayload(0, 1, ScreenFrame::maxFragmentData)).data.size(), 262'144u);
    EXPECT_EQ(frameFailure(framePayload(0, 1, ScreenFrame::maxFragmentData + 1)), Kind::unexpectedLength);
    EXPECT_EQ(frameFailure(framePayload(0, 0, 10)), Kind::invalidValue);
    EXPECT_EQ(ScreenFrame::decode(framePayload(63, 64, 10)).fragmentIndex, 63);
    EXPECT_EQ(frameFailure(framePayload(0, 65, 10)), Kind::invalidValue);
    EXPECT_EQ(frameFailure(framePayload(2, 2, 10)), Kind::invalidValue);
    EXPECT_EQ(frameFailure(framePayload(0xFFFF, 1, 10)), Kind::invalidValue);
    EXPECT_EQ(frameFailure(framePayload(0, 1, 10, 2)), Kind::invalidValue);

    EXPECT_EQ(ScreenFrameAck::decode(Bytes(12)), ScreenFrameAck{});
    EXPECT_EQ(frameFailure<ScreenFrameAck>(Bytes(11)), Kind::unexpectedLength);
    EXPECT_EQ(frameFailure<ScreenFrameAck>(Bytes(13)), Kind::unexpectedLength);
}

TEST(EncodedScreenFrame, FragmentsAtTheBoundaries) {
    struct Case {
        std::size_t size;
        std::optional<std::size_t> fragments;
    };
    for (auto [size, expected] : {Case{0, std::nullopt}, Case{1, 1}, Case{262'144, 1}, Case{262'145, 2},
                                  Case{16'777'216, 64}, Case{16'777'217, std::nullopt}}) {
        SCOPED_TRACE(size);
        EncodedScreenFrame frame{.sequence = 77, .isKeyframe = true, .captureTime = 5, .data = patterned(size)};
        auto fragments = frame.fragments();
        ASSERT_EQ(fragments.has_value(), expected.has_value());
        if (!fragments) continue;
        ASSERT_EQ(fragments->size(), *expected);
        Bytes joined;
        for (std::size_t i = 0; i < fragments->size(); ++i) {
            const auto& fragment = (*fragments)[i];
            EXPECT_EQ(fragment.sequence, 77u);
            EXPECT_TRUE(fragment.isKeyframe);
            EXPECT_EQ(fragment.captureTime, 5u);
            EXPECT_EQ(fragment.fragmentIndex, i);
            EXPECT_EQ(fragment.fragmentCount, *expected);
            EXPECT_EQ(fragment.data.size(), std::min<std::size_t>(262'144, size - i * 262'144));
            joined.insert(joined.end(), fragment.data.begin(), fragment.data.end());
        }
        EXPECT_EQ(joined, frame.data);
    }
}

TEST(ScreenFrameAssembler, IsNewerUsesWrappingSignedDifference) {
    struct Case {
        std::uint32_t a, b;
        bool newer;
    };
    for (auto [a, b, newer] : {Case{1, 0, true}, Case{0, 1, false}, Case{5, 5, false}, Case{0, 0xFFFFFFFF, true},
                               Case{0xFFFFFFFF, 0, false}, Case{0x7FFFFFFF, 0, true}, Case{0x80000000, 0, false},
                               Case{0, 0x80000000, false}, Case{0, 0x80000001, true}, Case{0x80000001, 0, false}}) {
        EXPECT_EQ(ScreenFrameAssembler::isNewer(a, b), newer) << a << " vs " << b;
    }
}
