#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/keys/ModifierFlags.hpp"
#include "orvik/protocol/messages/CaseNames.hpp"

#include <cstddef>
#include <cstdint>

// The live-input payloads. They travel in fixed big-endian layouts because they are the bulk of a session's
// traffic; each decoder accepts exactly its layout's length and only the listed enumeration values.
namespace orvik {

// A relative pointer movement in points; `sequence` lets the phone drop stale moves.
struct PointerMove {
    float dx = 0;
    float dy = 0;
    std::uint32_t sequence = 0;

    static constexpr std::size_t wireSize = 12;
    Bytes encode() const;
    static PointerMove decode(ByteView payload);
    bool operator==(const PointerMove&) const = default;
};

enum class MouseButton : std::uint8_t { left = 0, right = 1, middle = 2 };
enum class ButtonAction : std::uint8_t { down = 0, up = 1, click = 2, doubleClick = 3, dragDown = 4 };

struct ButtonEvent {
    MouseButton button = MouseButton::left;
    ButtonAction action = ButtonAction::click;

    static constexpr std::size_t wireSize = 2;
    Bytes encode() const;
    static ButtonEvent decode(ByteView payload);
    bool operator==(const ButtonEvent&) const = default;
};

// Scroll and momentum phases keep the desktop's own numbering, so they map one to one onto its scroll events.
enum class ScrollPhase : std::uint8_t { none = 0, began = 1, changed = 2, ended = 4, cancelled = 8, mayBegin = 128 };
enum class MomentumPhase : std::uint8_t { none = 0, begin = 1, continue_ = 2, end = 3 };

struct ScrollEvent {
    float dx = 0;
    float dy = 0;
    ScrollPhase phase = ScrollPhase::none;
    MomentumPhase momentum = MomentumPhase::none;

    static constexpr std::size_t wireSize = 10;
    Bytes encode() const;
    static ScrollEvent decode(ByteView payload);
    bool operator==(const ScrollEvent&) const = default;
};

enum class KeyAction : std::uint8_t { down = 0, up = 1, press = 2 };

// `keyCode` is a Mac virtual key code; codes that name no key travel unchanged and are refused by the receiver.
struct KeyEvent {
    std::uint16_t keyCode = 0;
    ModifierFlags modifiers{};
    KeyAction action = KeyAction::press;

    static constexpr std::size_t wireSize = 7;
    Bytes encode() const;
    static KeyEvent decode(ByteView payload);
    bool operator==(const KeyEvent&) const = default;
};

struct Ping {
    std::uint64_t value = 0;

    static constexpr std::size_t wireSize = 8;
    Bytes encode() const;
    static Ping decode(ByteView payload);
    bool operator==(const Ping&) const = default;
};

// The answer to a ping, echoing its value.
struct Pong {
    std::uint64_t value = 0;

    static constexpr std::size_t wireSize = 8;
    Bytes encode() const;
    static Pong decode(ByteView payload);
    bool operator==(const Pong&) const = default;
};

// A pointer position on one display: `x` and `y` are fractions of its width and height, 0 at the top-left.
struct PointerAbsolute {
    std::uint32_t displayID = 0;
    float x = 0;
    float y = 0;
    std::uint32_t sequence = 0;

    static constexpr std::size_t wireSize = 16;
    Bytes encode() const;
    static PointerAbsolute decode(ByteView payload);
    bool operator==(const PointerAbsolute&) const = default;
};

template <> struct CaseNames<MouseButton> {
    static constexpr std::array<std::pair<MouseButton, std::string_view>, 3> table{
        {{MouseButton::left, "left"}, {MouseButton::right, "right"}, {MouseButton::middle, "middle"}}};
};
template <> struct CaseNames<ButtonAction> {
    static constexpr std::array<std::pair<ButtonAction, std::string_view>, 5> table{
        {{ButtonAction::down, "down"},
         {ButtonAction::up, "up"},
         {ButtonAction::click, "click"},
         {ButtonAction::doubleClick, "doubleClick"},
         {ButtonAction::dragDown, "dragDown"}}};
};
template <> struct CaseNames<ScrollPhase> {
    static constexpr std::array<std::pair<ScrollPhase, std::string_view>, 6> table{
        {{ScrollPhase::none, "none"},
         {ScrollPhase::began, "began"},
         {ScrollPhase::changed, "changed"},
         {ScrollPhase::ended, "ended"},
         {ScrollPhase::cancelled, "cancelled"},
         {ScrollPhase::mayBegin, "mayBegin"}}};
};
template <> struct CaseNames<MomentumPhase> {
    static constexpr std::array<std::pair<MomentumPhase, std::string_view>, 4> table{
        {{MomentumPhase::none, "none"},
         {MomentumPhase::begin, "begin"},
         {MomentumPhase::continue_, "continue"},
         {MomentumPhase::end, "end"}}};
};
template <> struct CaseNames<KeyAction> {
    static constexpr std::array<std::pair<KeyAction, std::string_view>, 3> table{
        {{KeyAction::down, "down"}, {KeyAction::up, "up"}, {KeyAction::press, "press"}}};
};

} // namespace orvik
