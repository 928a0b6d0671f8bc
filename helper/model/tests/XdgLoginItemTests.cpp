#include "model/XdgLoginItem.hpp"

#include "core/tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

namespace orvik::helper {
namespace {

using testing::TemporaryDirectory;

// Each test has its own configuration home, so the user's own autostart folder is never touched.
class XdgLoginItemTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1); }
    void TearDown() override { ::unsetenv("XDG_CONFIG_HOME"); }

    std::filesystem::path autostart() const { return home.path() / "autostart"; }
    void writeEntry(const std::string& text) const {
        std::filesystem::create_directories(autostart());
        home.write("autostart/orvik-helper.desktop", text);
    }

    TemporaryDirectory home;
    const std::filesystem::path binary = home.path() / "bin dir" / "orvik-helper";
};

TEST_F(XdgLoginItemTest, EnablingWritesAnEntryThatStartsThisBinaryAndDisablingDeletesOnlyIt) {
    XdgLoginItem item(binary);
    EXPECT_FALSE(item.isEnabled());
    EXPECT_EQ(item.setEnabled(true), std::nullopt);
    EXPECT_TRUE(item.isEnabled());
    const auto text = home.read("autostart/orvik-helper.desktop");
    EXPECT_NE(text.find("Exec=\"" + binary.string() + "\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("X-GNOME-Autostart-enabled=true\n"), std::string::npos) << text;
    EXPECT_EQ(testing::modeOf(autostart() / "orvik-helper.desktop"), 0644U);

    home.write("autostart/other.desktop", "[Desktop Entry]\n");
    EXPECT_EQ(item.setEnabled(false), std::nullopt);
    EXPECT_FALSE(item.isEnabled());
    EXPECT_FALSE(std::filesystem::exists(autostart() / "orvik-helper.desktop"));
    EXPECT_TRUE(std::filesystem::exists(autostart() / "other.desktop"));
    EXPECT_EQ(item.setEnabled(false), std::nullopt) << "disabling twice is no failure";
}

TEST_F(XdgLoginItemTest, APathWithQuotesAndDollarsRoundTrips) {
    XdgLoginItem item(home.path() / "a \"b\" $c\\d" / "orvik-helper");
    ASSERT_EQ(item.setEnabled(true), std::nullopt);
    EXPECT_TRUE(item.isEnabled());
    EXPECT_FALSE(XdgLoginItem(binary).isEnabled());
}

struct EntryCase {
    std::string name;
    std::string lines; // after the group header
    bool enabled;
};

class ExistingEntry : public XdgLoginItemTest, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(ExistingEntry, CountsOnlyWhenItStartsThisBinary) {
    const std::string& path = binary.string();
    std::string lines = GetParam().lines;
    for (auto at = lines.find("BIN"); at != std::string::npos; at = lines.find("BIN")) lines.replace(at, 3, path);
    writeEntry("# written by hand\n[Desktop Entry]\n" + lines);
    EXPECT_EQ(XdgLoginItem(binary).isEnabled(), GetParam().enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ExistingEntry,
    ::testing::Values(EntryCase{"Quoted", "Exec=\"BIN\"\n", true},
                      EntryCase{"WithArguments", "Exec=\"BIN\" --flag\nHidden=false\n", true},
                      EntryCase{"Hidden", "Exec=\"BIN\"\nHidden=true\n", false},
                      EntryCase{"SwitchedOffForGnome", "Exec=\"BIN\"\nX-GNOME-Autostart-enabled=false\n", false},
                      EntryCase{"OtherBinary", "Exec=/usr/bin/orvik-helper\n", false},
                      EntryCase{"ByNameOnly", "Exec=orvik-helper\n", false},
                      EntryCase{"NoExec", "Type=Application\n", false},
                      EntryCase{"HiddenInAnotherGroup", "Exec=\"BIN\"\n[Desktop Action x]\nHidden=true\n", true}),
    [](const auto& entry) { return entry.param.name; });

TEST_F(XdgLoginItemTest, AFailureComesBackAsText) {
    home.write("autostart", "a file where the folder belongs");
    const auto error = XdgLoginItem(binary).setEnabled(true);
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("autostart"), std::string::npos) << *error;
    EXPECT_FALSE(XdgLoginItem("orvik-helper").setEnabled(true) == std::nullopt) << "a relative binary is refused";
}

} // namespace
} // namespace orvik::helper
