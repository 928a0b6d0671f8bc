#include "core/InMemoryUserDefaults.hpp"
#include "permissions/PostEventPermission.hpp"
#include "permissions/ScreenRecordingPermission.hpp"

#include <gtest/gtest.h>

#include <memory>

namespace orvik::helper {
namespace {

struct PostEventPermissionFixture : testing::Test {
    std::shared_ptr<InMemoryUserDefaults> defaults = std::make_shared<InMemoryUserDefaults>();
    bool granted = false;
    PostEventPermission permission{defaults, [this] { return granted; }};

    std::optional<bool> stored(std::string_view key) const { return defaults->boolean(key); }
};

TEST_F(PostEventPermissionFixture, aRequestIsRememberedAndAGrantOnlyOnceSeen) {
    EXPECT_FALSE(permission.hasRequestedBefore());
    EXPECT_FALSE(permission.wasLost());
    EXPECT_FALSE(permission.isGranted());
    EXPECT_EQ(defaults->changeCount(), 0u) << "a fresh system writes nothing";

    EXPECT_FALSE(permission.request());
    EXPECT_EQ(stored(PostEventPermission::requestedBeforeKey), true);
    EXPECT_EQ(stored(PostEventPermission::grantedBeforeKey), std::nullopt);
    EXPECT_TRUE(permission.hasRequestedBefore());

    granted = true;
    EXPECT_TRUE(permission.request());
    EXPECT_EQ(stored(PostEventPermission::grantedBeforeKey), true);
}

TEST_F(PostEventPermissionFixture, lossIsReportedOnlyAfterAGrantWasSeenWhichIsWrittenOnce) {
    granted = true;
    EXPECT_FALSE(permission.wasLost());
    granted = false;
    EXPECT_FALSE(permission.wasLost()) << "a grant nobody looked at is not remembered";
    EXPECT_EQ(defaults->changeCount(), 0u) << "wasLost never writes";

    granted = true;
    for (int check = 0; check < 3; ++check) EXPECT_TRUE(permission.isGranted());
    EXPECT_EQ(defaults->changeCount(), 1u);
    granted = false;
    EXPECT_TRUE(permission.wasLost());
    granted = true;
    EXPECT_FALSE(permission.wasLost());
    EXPECT_EQ(stored(PostEventPermission::grantedBeforeKey), true);
}

TEST(ScreenRecordingPermission, requestProbesAgainAndStoresNothing) {
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

} // namespace
} // namespace orvik::helper
