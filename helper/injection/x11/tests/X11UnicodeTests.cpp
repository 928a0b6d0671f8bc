#include "injection/x11/X11Unicode.hpp"

#include <X11/keysym.h>
#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

TEST(X11Unicode, surrogatePairsJoinAndLoneHalvesBecomeReplacements) {
    EXPECT_EQ(X11Unicode::codePoints(u"aé日😀"), U"aé日😀");
    EXPECT_EQ(X11Unicode::codePoints(std::u16string_view(u"\xD83D", 1)), U"\uFFFD");
    EXPECT_EQ(X11Unicode::codePoints(std::u16string(u"\xDE00x")), U"\uFFFDx");
    EXPECT_EQ(X11Unicode::codePoints(std::u16string(u"\xD83D\xD83D\xDE00")), U"\uFFFD😀");
}

// A layout may carry a character as its legacy keysym or as its Unicode keysym: both are looked for.
TEST(X11Unicode, charactersHaveTheirNamedKeysymFirstAndTheirUnicodeKeysymSecond) {
    using Keysyms = std::array<std::uint32_t, 2>;
    const std::pair<char32_t, Keysyms> cases[] = {
        {U'a', {XK_a, 0}},
        {U'ß', {XK_ssharp, 0}},
        {U'я', {XK_Cyrillic_ya, 0x0100044F}},
        {U'ł', {XK_lstroke, 0x01000142}},
        {U'€', {XK_EuroSign, 0x010020AC}},
        {U'日', {0x010065E5, 0}},
        {U'\n', {XK_Return, 0}},
        {U'\r', {XK_Return, 0}},
        {U'\t', {XK_Tab, 0}},
    };
    for (const auto& [character, keysyms] : cases) {
        EXPECT_EQ(X11Unicode::keysyms(character), keysyms) << static_cast<std::uint32_t>(character);
    }
    for (char32_t nothing : {U'\0', U'\x07', U'\x7F', U'\x85', char32_t{0xD800}, char32_t{0x110000}}) {
        EXPECT_EQ(X11Unicode::keysyms(nothing), (Keysyms{0, 0})) << static_cast<std::uint32_t>(nothing);
    }
}

} // namespace
} // namespace orvik::helper
