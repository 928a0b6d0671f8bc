#include "core/InMemoryUserDefaults.hpp"
#include "permissions/PostEventPermission.hpp"
#include "permissions/ScreenRecordingPermission.hpp"
#include "permissions/X11SessionProbe.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

TEST(PermissionProbeTest, anX11SessionWithXTestGrantsBoth) {
    X11SessionProbe probe;
    EXPECT_TRUE(probe.canPostEvents());
    EXPECT_TRUE(probe.canReadScreen());
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
