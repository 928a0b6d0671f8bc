#include "injection/x11/X11KeyTable.hpp"
#include "orvik/protocol/keys/MacKey.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

TEST(X11KeyTableTest, everyMacKeyButFunctionHasAKeysymAndNothingAbove127Does) {
    for (auto key : allMacKeys) {
        EXPECT_EQ(X11KeyTable::keysym(rawValue(key)) == X11KeyTable::noSymbol, key == MacKey::function) << name(key);
    }
    for (std::uint16_t code : std::initializer_list<std::uint16_t>{0x34, 0x7F, 128, 0xFFFF}) {
        EXPECT_EQ(X11KeyTable::keysym(code), X11KeyTable::noSymbol) << code;
    }
}

} // namespace
} // namespace orvik::helper
