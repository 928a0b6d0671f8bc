#pragma once

#include "orvik/protocol/keys/MacKey.hpp"
#include "orvik/protocol/messages/CommandMessages.hpp"

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace orvik::helper {

// Decides whether a text from the phone is pasted or typed, and cuts typed text into postable pieces.
// Texts are UTF-8; ill-formed sequences count as U+FFFD.
class TextTyping {
public:
    TextTyping() = delete;

    // Most UTF-16 units in one text segment, unless a single character is longer.
    static constexpr std::size_t maxChunkUTF16 = 20;
    // Texts with more characters (extended grapheme clusters) than this are pasted.
    static constexpr std::size_t pasteThresholdCharacters = 200;

    struct Segment {
        // Typed as one Unicode key event pair; never empty, never holds a line break or tab.
        struct Text {
            std::u16string units;
            friend bool operator==(const Text&, const Text&) = default;
        };
        // Pressed as a real key without modifiers: only return and tab.
        struct Key {
            MacKey key;
            friend bool operator==(const Key&, const Key&) = default;
        };

        std::variant<Text, Key> value;

        static Segment text(std::u16string units) { return {Text{std::move(units)}}; }
        static Segment key(MacKey key) { return {Key{key}}; }
        friend bool operator==(const Segment&, const Segment&) = default;
    };

    static bool shouldPaste(std::string_view text, TextMode requested);
    // The segments to send in order; a character is never split between two text segments.
    static std::vector<Segment> segments(std::string_view text);
    // True when any scalar is presented as emoji (see the .cpp for the exact test).
    static bool containsEmoji(std::string_view text);
};

} // namespace orvik::helper
