#include "injection/MediaKeyEncoding.hpp"
#include "injection/x11/X11KeyTable.hpp"
#include "orvik/protocol/keys/MacKey.hpp"
#include "orvik/protocol/messages/CaseNames.hpp"

#include <X11/XF86keysym.h>
#include <gtest/gtest.h>

#include <utility>

namespace orvik::helper {
namespace {

TEST(X11KeyTable, everyMacKeyButFunctionHasAKeysymAndNothingAbove127Does) {
    for (auto key : allMacKeys) {
        EXPECT_EQ(X11KeyTable::keysym(rawValue(key)) == X11KeyTable::noSymbol, key == MacKey::function) << name(key);
    }
    for (std::uint16_t code : std::initializer_list<std::uint16_t>{0x34, 0x7F, 128, 0xFFFF}) {
        EXPECT_EQ(X11KeyTable::keysym(code), X11KeyTable::noSymbol) << code;
    }
}

// The phone's media keys, coded for the sink and looked up as the sink does, land on the audio keys desktops bind.
TEST(X11KeyTable, everyMediaKeyOfThePhoneReachesItsAudioKeysymAndUnknownCodesNone) {
    const std::pair<MediaKey, std::uint32_t> expected[] = {
        {MediaKey::playPause, XF86XK_AudioPlay},         {MediaKey::next, XF86XK_AudioNext},
        {MediaKey::previous, XF86XK_AudioPrev},          {MediaKey::volumeUp, XF86XK_AudioRaiseVolume},
        {MediaKey::volumeDown, XF86XK_AudioLowerVolume}, {MediaKey::mute, XF86XK_AudioMute}};
    ASSERT_EQ(std::size(expected), CaseNames<MediaKey>::table.size()) << "a media key without a keysym here";
    for (auto [key, keysym] : expected) {
        EXPECT_EQ(X11KeyTable::mediaKeysym(MediaKeyEncoding::key(key)), keysym) << caseName(key);
    }
    for (std::int32_t code : {-1, 2, 99, 0x8000}) EXPECT_EQ(X11KeyTable::mediaKeysym(code), X11KeyTable::noSymbol);
}

} // namespace
} // namespace orvik::helper
