#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/messages/InputMessages.hpp"

#include "DecodingFailure.hpp"

#include <gtest/gtest.h>

using namespace orvik;
using Kind = DecodingError::Kind;

namespace {

template <class T> std::optional<Kind> failure(const Bytes& payload) {
    return orvik::testing::failureOf([&] { T::decode(payload); });
}

// Encoding gives exactly these bytes, they decode back to the value, and no other length decodes.
template <class T> void expectLayout(const T& value, const Bytes& bytes) {
    EXPECT_EQ(value.encode(), bytes);
    EXPECT_EQ(T::decode(bytes), value);
    for (auto size : {std::size_t{0}, bytes.size() - 1, bytes.size() + 1}) {
        EXPECT_EQ(failure<T>(Bytes(size)), Kind::unexpectedLength) << size;
    }
}

} // namespace

TEST(InputMessages, GoldenLayoutsAtTheirExactLength) {
    expectLayout(PointerMove{1.5f, -2.0f, 0x01020304},
                 {0x3F, 0xC0, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04});
    expectLayout(ButtonEvent{MouseButton::right, ButtonAction::doubleClick}, {0x01, 0x03});
    expectLayout(ScrollEvent{0.5f, -1.0f, ScrollPhase::ended, MomentumPhase::end},
                 {0x3F, 0x00, 0x00, 0x00, 0xBF, 0x80, 0x00, 0x00, 0x04, 0x03});
    expectLayout(KeyEvent{0x0031, ModifierFlags::command | ModifierFlags::option, KeyAction::down},
                 {0x00, 0x31, 0x00, 0x00, 0x00, 0x05, 0x00});
    expectLayout(Ping{0x0102030405060708}, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08});
    expectLayout(Pong{0xF1F2F3F4F5F6F7F8}, {0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8});
    expectLayout(PointerAbsolute{0xAABBCCDD, 0.25f, 1.0f, 9},
                 {0xAA, 0xBB, 0xCC, 0xDD, 0x3E, 0x80, 0x00, 0x00, 0x3F, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09});
    // Key codes that name no key and modifier bits nobody knows travel unchanged.
    KeyEvent unknown{0xFFFF, ModifierFlags(0x8000'0001), KeyAction::press};
    EXPECT_EQ(KeyEvent::decode(unknown.encode()), unknown);
}

TEST(InputMessages, EnumerationValuesOutsideTheirCasesAreInvalid) {
    EXPECT_EQ(failure<ButtonEvent>({3, 0}), Kind::invalidValue);
    EXPECT_EQ(failure<ButtonEvent>({0, 5}), Kind::invalidValue);
    for (std::uint8_t phase : std::initializer_list<std::uint8_t>{3, 5, 16, 127, 129, 255}) {
        EXPECT_EQ(failure<ScrollEvent>({0, 0, 0, 0, 0, 0, 0, 0, phase, 0}), Kind::invalidValue) << int(phase);
    }
    EXPECT_EQ(failure<ScrollEvent>({0, 0, 0, 0, 0, 0, 0, 0, 128, 4}), Kind::invalidValue);
    EXPECT_EQ(failure<KeyEvent>({0, 0, 0, 0, 0, 0, 3}), Kind::invalidValue);
}
