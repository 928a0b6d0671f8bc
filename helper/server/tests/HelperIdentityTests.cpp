#include "core/InMemoryUserDefaults.hpp"
#include "server/HelperIdentity.hpp"
#include "server/tests/FakeSystemInfoSource.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

struct Fixture {
    InMemoryUserDefaults defaults;
    std::shared_ptr<testing::FakeSystemInfoSource> source = std::make_shared<testing::FakeSystemInfoSource>();
    SystemInfo info{source};

    Fixture() {
        source->host = "studio";
        source->files["/sys/class/dmi/id/product_name"] = "OptiPlex 7090\n";
        source->files["/proc/net/route"] = "Iface\tDestination\tGateway\tFlags\tRefCnt\tUse\tMetric\tMask\n"
                                           "eth0\t00000000\t0101A8C0\t0003\t0\t0\t0\t00000000\n";
        source->addLink("eth0", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
    }
};

TEST(HelperIdentity, MakesAndStoresTheIdentifierOnceThenReadsItBack) {
    Fixture fixture;
    auto first = HelperIdentity::current(fixture.defaults, fixture.info, "1.2.3");
    auto stored = fixture.defaults.text("helperID");
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, first.helperID.text());
    auto changes = fixture.defaults.changeCount();
    auto second = HelperIdentity::current(fixture.defaults, fixture.info, "1.2.3");
    EXPECT_EQ(second, first);
    EXPECT_EQ(fixture.defaults.changeCount(), changes);
}

TEST(HelperIdentity, AcceptsALowerCaseIdentifierAndReplacesAnUnreadableOne) {
    Fixture fixture;
    fixture.defaults.setText("helperID", "e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    auto changes = fixture.defaults.changeCount();
    EXPECT_EQ(HelperIdentity::current(fixture.defaults, fixture.info).helperID.text(),
              "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(fixture.defaults.changeCount(), changes);

    fixture.defaults.setText("helperID", "not a uuid");
    auto replaced = HelperIdentity::current(fixture.defaults, fixture.info);
    EXPECT_EQ(fixture.defaults.text("helperID"), replaced.helperID.text());

    fixture.defaults.setData("helperID", Bytes{1, 2});
    auto fromData = HelperIdentity::current(fixture.defaults, fixture.info);
    EXPECT_NE(fromData.helperID, replaced.helperID);
    EXPECT_EQ(fixture.defaults.text("helperID"), fromData.helperID.text());
}

TEST(HelperIdentity, TakesItsOtherFieldsFromTheHost) {
    Fixture fixture;
    auto identity = HelperIdentity::current(fixture.defaults, fixture.info, "");
    EXPECT_EQ(identity.macName, "studio");
    EXPECT_EQ(identity.model, "OptiPlex 7090");
    EXPECT_EQ(identity.helperVersion, "0");
    EXPECT_EQ(identity.macAddress, "00:1a:2b:3c:4d:5e");
    EXPECT_FALSE(HelperIdentity::current(fixture.defaults, fixture.info).helperVersion.empty());
}

TEST(HelperIdentity, TheTxtRecordHoldsExactlyFourPublicEntries) {
    HelperIdentity identity{*Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f"), "Anna's Laptop", "OptiPlex 7090",
                            "0.1.0", "00:1a:2b:3c:4d:5e"};
    EXPECT_EQ(identity.txtRecord(), (std::map<std::string, std::string>{
                                        {"id", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"},
                                        {"pv", "1"},
                                        {"hv", "0.1.0"},
                                        {"m", "OptiPlex 7090"},
                                    }));
}

} // namespace
} // namespace orvik::helper
