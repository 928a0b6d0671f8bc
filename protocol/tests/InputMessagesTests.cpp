#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/messages/InputMessages.hpp"

#include <gtest/gtest.h>

#include <functional>

using namespace orvik;

namespace {

template <class T> DecodingError::Kind failureKind(const Bytes& payload) {
    try {
        T::decode(payload);
    } catch (const DecodingError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "decoded";
    return DecodingError::Kind::truncated;
}

// Golden bytes: encoding gives exactly these, and they decode back to the value.
template <class T> void expectLayout(const T& value, const Bytes& bytes) {
    EXPECT_EQ(value.encode(), bytes);
    EXPECT_EQ(T::decode(bytes), value);
    EXPECT_EQ(bytes.size(), T::wireSize);
}

// Any other length, one shorter or longer, is refused.
template <class T> void expectExactLength() {
    for (auto size : {std::size_t{0}, T::wireSize - 1, T::wireSize + 1}) {
        EXPECT_EQ(failureKind<T>(Bytes(size)), DecodingError::Kind::unexpectedLength) << size;
    }
}

} // namespace

TEST(InputMessages, GoldenLayouts) {
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
}

TEST(InputMessages, OnlyTheExactLengthDecodes) {
    expectExactLength<PointerMove>();
    expectExactLength<ButtonEvent>();
    expectExactLength<ScrollEvent>();
    expectExactLength<KeyEvent>();
    expectExactLength<Ping>();
    expectExactLength<Pong>();
    expectExactLength<PointerAbsolute>();
}

TEST(InputMessages, EnumerationValuesOutsideTheirCasesAreInvalid) {
    using Kind = DecodingError::Kind;
    EXPECT_EQ(failureKind<ButtonEvent>({3, 0}), Kind::invalidValue);
    EXPECT_EQ(failureKind<ButtonEvent>({0, 5}), Kind::invalidValue);
    for (std::uint8_t phase : std::initializer_list<std::uint8_t>{3, 5, 16, 127, 129, 255}) {
        EXPECT_EQ(failureKind<ScrollEvent>({0, 0, 0, 0, 0, 0, 0, 0, phase, 0}), Kind::invalidValue) << int(phase);
    }
    EXPECT_EQ(failureKind<ScrollEvent>({0, 0, 0, 0, 0, 0, 0, 0, 0, 4}), Kind::invalidValue);
    EXPECT_EQ(failureKind<KeyEvent>({0, 0, 0, 0, 0, 0, 3}), Kind::invalidValue);
}

TEST(InputMessages, EveryScrollPhaseKeepsThePlatformValue) {
    for (const auto& [phase, name] : CaseNames<ScrollPhase>::table) {
        ScrollEvent event{1, 2, phase, MomentumPhase::begin};
        EXPECT_EQ(event.encode()[8], static_cast<std::uint8_t>(phase)) << name;
        EXPECT_EQ(ScrollEvent::decode(event.encode()), event) << name;
    }
    EXPECT_EQ(static_cast<int>(ScrollPhase::mayBegin), 128);
    EXPECT_EQ(caseName(MomentumPhase::continue_), "continue");
}

TEST(InputMessages, KeyEventKeepsUnknownModifierBitsAndKeyCodes) {
    KeyEvent event{0xFFFF, ModifierFlags(0x8000'0001), KeyAction::press};
    EXPECT_EQ(KeyEvent::decode(event.encode()), event);
}
