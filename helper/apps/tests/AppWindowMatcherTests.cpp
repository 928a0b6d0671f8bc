#include "apps/AppWindowMatcher.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

struct MatchCase {
    const char* description;
    WindowIdentity window;
    std::string expected; // id; empty: no match
};

class AppWindowMatcherFixture : public testing::TestWithParam<MatchCase> {};

TEST_P(AppWindowMatcherFixture, NamesTheApplicationOfAWindow) {
    auto entry = [](std::string id, std::string wmClass, std::string program) {
        DesktopEntry made;
        made.id = std::move(id);
        made.startupWMClass = std::move(wmClass);
        made.program = std::move(program);
        return made;
    };
    const std::vector<DesktopEntry> entries{
        entry("editor.desktop", "", "ed"),
        entry("org.gnome.Terminal.desktop", "", "gnome-terminal"),
        entry("browser.desktop", "Navigator", "firefox-esr"),
        entry("vendor-viewer.desktop", "", "view"),
        entry("terminal.desktop", "", "xterm"),
    };
    const auto found = AppWindowMatcher::match(GetParam().window, entries);
    EXPECT_EQ(found ? entries[*found].id : "", GetParam().expected) << GetParam().description;
}

INSTANTIATE_TEST_SUITE_P(
    Evidence, AppWindowMatcherFixture,
    testing::Values(MatchCase{"GTK application id",
                              {"gnome-terminal-server", "Gnome-terminal", "org.gnome.Terminal", 1},
                              "org.gnome.Terminal.desktop"},
                    MatchCase{
                        "StartupWMClass beats the program", {"Navigator", "firefox-esr", "", 1}, "browser.desktop"},
                    MatchCase{"id equals the class, any case", {"Editor", "EDITOR", "", 1}, "editor.desktop"},
                    MatchCase{"last part of a reverse-DNS id", {"terminal", "Terminal", "", 1}, "terminal.desktop"},
                    MatchCase{"program names the instance", {"view", "Viewer", "", 1}, "vendor-viewer.desktop"},
                    MatchCase{"class only, never a partial name", {"edit", "Edit", "", 1}, ""},
                    MatchCase{"nothing known", {"", "", "", 0}, ""}));

} // namespace
} // namespace orvik::helper
