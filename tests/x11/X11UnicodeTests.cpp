#include "injection/x11/X11Unicode.hpp"

#include <X11/keysym.h>
#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

TEST(X11UnicodeTest, surrogatePairsJoinAndLoneHalvesBecomeReplacements) {
    EXPECT_EQ(X11Unicode::codePoints(u"aé日😀"), U"aé日😀");
    EXPECT_EQ(X11Unicode::codePoints(std::u16string_view(u"\xD83D", 1)), U"\uFFFD");
    EXPECT_EQ(X11Unicode::codePoints(std::u16string(u"\xDE00x")), U"\uFFFDx");
    EXPECT_EQ(X11Unicode::codePoints(std::u16string(u"\xD83D\xD83D\xDE00")), U"\uFFFD😀");
    EXPECT_EQ(X11Unicode::codePoints(u""), U"");
}

TEST(X11UnicodeTest, keysymsOfCharacters) {
    EXPECT_EQ(X11Unicode::keysym(U'a'), static_cast<std::uint32_t>(XK_a));
    EXPECT_EQ(X11Unicode::keysym(U'~'), static_cast<std::uint32_t>(XK_asciitilde));
    EXPECT_EQ(X11Unicode::keysym(U'é'), static_cast<std::uint32_t>(XK_eacute));
    EXPECT_EQ(X11Unicode::keysym(U'ß'), static_cast<std::uint32_t>(XK_ssharp));
    EXPECT_EQ(X11Unicode::keysym(U'€'), 0x010020ACu);
    EXPECT_EQ(X11Unicode::keysym(U'😀'), 0x0101F600u);
    EXPECT_EQ(X11Unicode::keysym(U'\n'), static_cast<std::uint32_t>(XK_Return));
    EXPECT_EQ(X11Unicode::keysym(U'\r'), static_cast<std::uint32_t>(XK_Return));
    EXPECT_EQ(X11Unicode::keysym(U'\t'), static_cast<std::uint32_t>(XK_Tab));
    for (char32_t nothing : {U'\0', U'\x07', U'\x1B', U'\x7F', U'\x85', char32_t{0xD800}, char32_t{0x110000}}) {
        EXPECT_EQ(X11Unicode::keysym(nothing), 0u) << static_cast<std::uint32_t>(nothing);
    }
}

} // namespace
} // namespace orvik::helper
