#include "model/XdgLoginItem.hpp"

#include "core/tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

namespace orvik::helper {
namespace {

// Each test has its own configuration home, so the user's own autostart folder is never touched.
class XdgLoginItemFixture : public ::testing::Test {
protected:
    XdgLoginItemFixture() { ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1); }
    ~XdgLoginItemFixture() override { ::unsetenv("XDG_CONFIG_HOME"); }

    testing::TemporaryDirectory home;
    const std::filesystem::path entry = home.path() / "autostart" / "orvik-helper.desktop";
    const std::filesystem::path binary = home.path() / "orvik-helper";
};

TEST_F(XdgLoginItemFixture, EnablingWritesAnEntryThatStartsThisBinaryAndDisablingDeletesOnlyIt) {
    // Quotes, a dollar and a backslash, which the Exec value must quote and escape.
    XdgLoginItem item(home.path() / "a \"b\" $c\\d" / "orvik-helper");
    EXPECT_FALSE(item.isEnabled());
    ASSERT_EQ(item.setEnabled(true), std::nullopt);
    EXPECT_TRUE(item.isEnabled());
    EXPECT_FALSE(XdgLoginItem(binary).isEnabled()) << "the entry starts another binary";
    EXPECT_NE(home.read("autostart/orvik-helper.desktop").find("\nExec=\""), std::string::npos);
    EXPECT_EQ(testing::modeOf(entry), 0644U);

    home.write("autostart/other.desktop", "[Desktop Entry]\n");
    EXPECT_EQ(item.setEnabled(false), std::nullopt);
    EXPECT_EQ(item.setEnabled(false), std::nullopt) << "disabling twice is no failure";
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_TRUE(std::filesystem::exists(home.path() / "autostart" / "other.desktop"));
}

struct EntryCase {
    std::string name;
    std::string lines; // after the group header; BIN stands for the binary's path
    bool enabled;
};

class ExistingEntry : public XdgLoginItemFixture, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(ExistingEntry, CountsOnlyWhenItStartsThisBinary) {
    std::string lines = GetParam().lines;
    if (auto at = lines.find("BIN"); at != std::string::npos) lines.replace(at, 3, binary.string());
    std::filesystem::create_directories(entry.parent_path());
    home.write("autostart/orvik-helper.desktop", "# by hand\n[Desktop Entry]\n" + lines);
    EXPECT_EQ(XdgLoginItem(binary).isEnabled(), GetParam().enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ExistingEntry,
    ::testing::Values(EntryCase{"Plain", "Exec=BIN\n", true},
                      EntryCase{"QuotedWithArguments", "Exec=\"BIN\" --flag\nHidden=false\n", true},
                      EntryCase{"Hidden", "Exec=BIN\nHidden=true\n", false},
                      EntryCase{"SwitchedOffForGnome", "Exec=BIN\nX-GNOME-Autostart-enabled=false\n", false},
                      EntryCase{"ByNameOnly", "Exec=orvik-helper\n", false}, EntryCase{"NoExec", "Name=x\n", false},
                      EntryCase{"HiddenInAnotherGroup", "Exec=BIN\n[Desktop Action x]\nHidden=true\n", true}),
    [](const auto& row) { return row.param.name; });

TEST_F(XdgLoginItemFixture, AFailureComesBackAsText) {
    home.write("autostart", "a file where the folder belongs");
    const auto error = XdgLoginItem(binary).setEnabled(true);
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("autostart"), std::string::npos) << *error;
    EXPECT_TRUE(XdgLoginItem("orvik-helper").setEnabled(true).has_value()) << "a relative binary is refused";
}

} // namespace
} // namespace orvik::helper
