#include "PrivateXServer.hpp"
#include "core/InMemoryUserDefaults.hpp"
#include "core/ServerClock.hpp"
#include "permissions/PostEventPermission.hpp"
#include "permissions/ScreenRecordingPermission.hpp"
#include "permissions/X11SessionProbe.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

struct PermissionProbeOnItsOwnServer : testing::Test {
    x11test::PrivateXServer server;
    ManualClock clock{100};
    X11SessionProbe probe{[this] { return X11SessionProbe::Environment{server.name(), "", "x11"}; }, clock.function()};
};

// The probe answers for the server on its display now: also for a new one that replaced a server it knew.
TEST_F(PermissionProbeOnItsOwnServer, anX11SessionWithXTestGrantsBothAlsoAfterTheServerWasRestarted) {
    EXPECT_TRUE(probe.canPostEvents());
    EXPECT_TRUE(probe.canReadScreen());
    ASSERT_TRUE(server.restart());
    clock.advance(X11SessionProbe::reprobeInterval);
    EXPECT_TRUE(probe.canPostEvents());
}

// A stopped server keeps its clients' connections open but answers nothing: the probe must not wait for it.
TEST_F(PermissionProbeOnItsOwnServer, aServerThatStoppedAnsweringLeavesTheLastAnswer) {
    ASSERT_TRUE(probe.canPostEvents());
    server.pause();
    for (int question = 0; question < 3; ++question) {
        clock.advance(X11SessionProbe::reprobeInterval);
        EXPECT_TRUE(probe.canPostEvents());
    }
    server.resume();
}

TEST(PermissionProbeTest, theSameServerUnderWaylandGrantsNothing) {
    auto environment = X11SessionProbe::Environment::current();
    environment.waylandDisplay = "wayland-0";
    X11SessionProbe probe([environment] { return environment; });
    EXPECT_FALSE(probe.canPostEvents());
    EXPECT_FALSE(probe.canReadScreen());
}

TEST(PermissionProbeTest, permissionsOnTheSharedProbe) {
    auto defaults = std::make_shared<InMemoryUserDefaults>();
    PostEventPermission postEvents(defaults);
    EXPECT_TRUE(postEvents.isGranted());
    EXPECT_EQ(defaults->boolean(PostEventPermission::grantedBeforeKey), true);
    EXPECT_FALSE(postEvents.wasLost());
    EXPECT_TRUE(ScreenRecordingPermission().isGranted());
}

} // namespace
} // namespace orvik::helper
