#include "core/InMemoryUserDefaults.hpp"
#include "permissions/PostEventPermission.hpp"
#include "permissions/ScreenRecordingPermission.hpp"
#include "permissions/SystemSettingsLink.hpp"

#include <gtest/gtest.h>

#include <memory>

namespace orvik::helper {
namespace {

struct PostEventPermissionTest : testing::Test {
    std::shared_ptr<InMemoryUserDefaults> defaults = std::make_shared<InMemoryUserDefaults>();
    bool granted = false;
    PostEventPermission permission{defaults, [this] { return granted; }};

    std::optional<bool> stored(std::string_view key) const { return defaults->boolean(key); }
};

TEST_F(PostEventPermissionTest, freshSystemReportsNothingAndWritesNothing) {
    EXPECT_FALSE(permission.hasRequestedBefore());
    EXPECT_FALSE(permission.wasLost());
    EXPECT_FALSE(permission.isGranted());
    EXPECT_EQ(defaults->changeCount(), 0u);
}

TEST_F(PostEventPermissionTest, deniedRequestRemembersOnlyTheRequest) {
    EXPECT_FALSE(permission.request());
    EXPECT_EQ(stored(PostEventPermission::requestedBeforeKey), true);
    EXPECT_EQ(stored(PostEventPermission::grantedBeforeKey), std::nullopt);
    EXPECT_TRUE(permission.hasRequestedBefore());
}

TEST_F(PostEventPermissionTest, grantedRequestRemembersBoth) {
    granted = true;
    EXPECT_TRUE(permission.request());
    EXPECT_EQ(stored(PostEventPermission::requestedBeforeKey), true);
    EXPECT_EQ(stored(PostEventPermission::grantedBeforeKey), true);
}

TEST_F(PostEventPermissionTest, lossIsReportedOnlyAfterAGrantWasSeen) {
    granted = true;
    EXPECT_FALSE(permission.wasLost());
    granted = false;
    EXPECT_FALSE(permission.wasLost()) << "a grant nobody looked at is not remembered";

    granted = true;
    EXPECT_TRUE(permission.isGranted());
    granted = false;
    EXPECT_TRUE(permission.wasLost());
    granted = true;
    EXPECT_FALSE(permission.wasLost());
    EXPECT_EQ(stored(PostEventPermission::grantedBeforeKey), true);
}

TEST_F(PostEventPermissionTest, repeatedGrantsWriteTheFlagOnce) {
    granted = true;
    for (int check = 0; check < 5; ++check) EXPECT_TRUE(permission.isGranted());
    EXPECT_EQ(defaults->changeCount(), 1u);
    auto changes = defaults->changeCount();
    EXPECT_FALSE(permission.wasLost());
    EXPECT_EQ(defaults->changeCount(), changes) << "wasLost never writes";
}

TEST(ScreenRecordingPermissionTest, requestProbesAgainAndStoresNothing) {
    int probes = 0;
    bool readable = false;
    ScreenRecordingPermission permission([&] {
        ++probes;
        return readable;
    });
    EXPECT_FALSE(permission.isGranted());
    readable = true;
    EXPECT_TRUE(permission.request());
    EXPECT_EQ(probes, 2);
}

TEST(SystemSettingsLinkTest, everyLinkIsAbsentOnLinux) {
    EXPECT_FALSE(SystemSettingsLink::accessibility());
    EXPECT_FALSE(SystemSettingsLink::localNetwork());
    EXPECT_FALSE(SystemSettingsLink::automation());
    EXPECT_FALSE(SystemSettingsLink::firewall());
    EXPECT_FALSE(SystemSettingsLink::loginItems());
    EXPECT_FALSE(SystemSettingsLink::screenRecording());
}

} // namespace
} // namespace orvik::helper
