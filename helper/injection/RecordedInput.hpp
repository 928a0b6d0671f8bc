#pragma once

#include "injection/InputSink.hpp"

#include <iosfwd>
#include <string>
#include <variant>

namespace orvik::helper {

// One call a RecordingSink received. The mouse delta is not recorded.
struct RecordedInput {
    struct Mouse {
        MouseEventKind kind;
        std::optional<MouseButton> button;
        DisplayPoint location;
        int clickCount;
        friend bool operator==(const Mouse&, const Mouse&) = default;
    };
    struct Scroll {
        std::int32_t dx;
        std::int32_t dy;
        ScrollPhase phase;
        MomentumPhase momentum;
        friend bool operator==(const Scroll&, const Scroll&) = default;
    };
    struct Key {
        std::uint16_t keyCode;
        bool isDown;
        ModifierFlags flags;
        friend bool operator==(const Key&, const Key&) = default;
    };
    struct Modifier {
        std::uint16_t keyCode;
        ModifierFlags flags;
        friend bool operator==(const Modifier&, const Modifier&) = default;
    };
    struct Unicode {
        std::string text; // UTF-8 of the posted units; ill-formed units became U+FFFD
        bool isDown;
        friend bool operator==(const Unicode&, const Unicode&) = default;
    };
    struct Media {
        std::int32_t code;
        bool isDown;
        friend bool operator==(const Media&, const Media&) = default;
    };

    std::variant<Mouse, Scroll, Key, Modifier, Unicode, Media> value;

    static RecordedInput mouse(MouseEventKind kind, std::optional<MouseButton> button, DisplayPoint location,
                               int clickCount) {
        return {Mouse{kind, button, location, clickCount}};
    }
    static RecordedInput scroll(std::int32_t dx, std::int32_t dy, ScrollPhase phase, MomentumPhase momentum) {
        return {Scroll{dx, dy, phase, momentum}};
    }
    static RecordedInput key(std::uint16_t keyCode, bool isDown, ModifierFlags flags) {
        return {Key{keyCode, isDown, flags}};
    }
    static RecordedInput modifier(std::uint16_t keyCode, ModifierFlags flags) { return {Modifier{keyCode, flags}}; }
    static RecordedInput unicode(std::string text, bool isDown) { return {Unicode{std::move(text), isDown}}; }
    static RecordedInput media(std::int32_t code, bool isDown) { return {Media{code, isDown}}; }

    friend bool operator==(const RecordedInput&, const RecordedInput&) = default;
};

// A readable form for test failure messages, such as "mouse(down, left, 10, 20, 1)".
std::ostream& operator<<(std::ostream& out, const RecordedInput& input);

} // namespace orvik::helper
