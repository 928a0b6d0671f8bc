#include "permissions/x11/X11SessionProbe.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

// These cases never reach an X server: a Wayland session is refused before connecting, and the display named
// here does not exist. Granting probes run against Xvfb in tests/permissions-x11.
constexpr const char* missingDisplay = ":65000";

struct X11SessionProbeFixture : testing::Test {
    ManualClock clock{100};
    int environmentReads = 0;
    X11SessionProbe::Environment environment{missingDisplay, "", "x11"};
    X11SessionProbe probe{[this] {
                              ++environmentReads;
                              return environment;
                          },
                          clock.function()};
};

TEST(X11SessionProbeEnvironment, waylandIsRecognisedByEitherVariable) {
    EXPECT_TRUE((X11SessionProbe::Environment{":0", "wayland-0", ""}.isWayland()));
    EXPECT_TRUE((X11SessionProbe::Environment{":0", "", "wayland"}.isWayland()));
    EXPECT_FALSE((X11SessionProbe::Environment{":0", "", "x11"}.isWayland()));
    EXPECT_FALSE((X11SessionProbe::Environment{":0", "", ""}.isWayland()));
}

TEST_F(X11SessionProbeFixture, answersAreKeptForAboutASecond) {
    environment.waylandDisplay = "wayland-0";
    EXPECT_FALSE(probe.canPostEvents());
    EXPECT_EQ(environmentReads, 1);

    clock.advance(X11SessionProbe::reprobeInterval - 0.01);
    EXPECT_FALSE(probe.canPostEvents());
    EXPECT_EQ(environmentReads, 1) << "a fresh answer is served from the cache";

    clock.advance(0.01);
    EXPECT_FALSE(probe.canPostEvents());
    EXPECT_EQ(environmentReads, 2) << "after the interval the session is asked again";
}

TEST_F(X11SessionProbeFixture, withoutAServerEachQuestionHasItsOwnAnswerAndGrantsNothing) {
    EXPECT_FALSE(probe.canPostEvents());
    EXPECT_FALSE(probe.canReadScreen());
    EXPECT_EQ(environmentReads, 2);
    EXPECT_FALSE(probe.canReadScreen());
    EXPECT_EQ(environmentReads, 2);
}

} // namespace
} // namespace orvik::helper
