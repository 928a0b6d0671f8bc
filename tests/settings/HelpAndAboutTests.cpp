#include "VisibleText.hpp"
#include "settings/AboutSettings.hpp"
#include "settings/FirewallSettingsTool.hpp"
#include "settings/HelpWindow.hpp"

#include <QScrollArea>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace orvik::helper {
namespace {

TEST(HelpWindow, ShowsTheSevenTopicsInOrderWithTheirLinuxTexts) {
    HelpWindow window;
    window.show();
    const QStringList texts = test::visibleTexts(&window);
    ASSERT_EQ(texts.size(), 14);
    const char* titles[] = {"Pair an iPhone",           "My iPhone can’t find this computer",
                            "The pointer doesn’t move", "Typing doesn’t work in a password field",
                            "Gestures and shortcuts",   "Waking a sleeping computer",
                            "Stop control instantly"};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(texts[2 * i].toStdString(), titles[i]);
    EXPECT_EQ(texts[3].toStdString(),
              "Make sure both are on the same Wi-Fi and no VPN is active. If a firewall is on, allow incoming TCP "
              "connections to the port shown after “This computer:” in the Orvik Helper menu, and mDNS (UDP port "
              "5353).");
    EXPECT_EQ(texts[13].toStdString(), "Choose Pause Orvik in the system tray or press Ctrl+Alt+Super+P. Remove a "
                                       "device in Settings > Devices to revoke it.");
    EXPECT_EQ(window.windowTitle().toStdString(), "Orvik Helper Help");
}

TEST(HelpWindow, IsFixedAndScrollsItsTopicsInsteadOfCuttingThem) {
    HelpWindow window;
    window.show();
    EXPECT_EQ(window.size(), QSize(480, 460));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    auto* scroll = window.findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    EXPECT_GT(scroll->widget()->height(), scroll->viewport()->height());
    test::expectNothingClipped(&window);
}

struct VersionCase {
    std::string version, build, line;
};
TEST(AboutSettings, VersionLineKeepsEmptyParts) {
    for (const auto& [version, build, line] :
         {VersionCase{"1.2", "34", "Version 1.2 (34)"}, VersionCase{"1.2", "", "Version 1.2 ()"},
          VersionCase{"", "", "Version  ()"}}) {
        EXPECT_EQ(AboutSettings::versionLine(version, build), line);
    }
}

struct PageCase {
    std::string base;
    std::optional<std::string> page;
};
TEST(AboutSettings, SecurityPageLiesUnderTheDownloadSite) {
    for (const auto& [base, page] : {
             PageCase{"https://orvik.example/app", "https://orvik.example/app/security.html"},
             PageCase{"https://orvik.example/app/", "https://orvik.example/app/security.html"},
             PageCase{"https://orvik.example", "https://orvik.example/security.html"},
             PageCase{"downloads", "downloads/security.html"},
             PageCase{"", std::nullopt},
             PageCase{"{{DOWNLOAD_URL}}", std::nullopt},
             PageCase{"{{", std::nullopt},
             PageCase{"http://[::1", std::nullopt},
         }) {
        EXPECT_EQ(AboutSettings::securityPageURL(base), page) << base;
    }
}

TEST(AboutSettings, LinksTheSecurityPageOnlyWhenTheBuildNamesASiteAndThanksTheLinkedLibraries) {
    AboutSettings withSite("1.2", "34", "https://orvik.example/app");
    withSite.show();
    const QStringList texts = test::visibleTexts(&withSite);
    EXPECT_TRUE(texts.contains(QStringLiteral("Version 1.2 (34)")));
    EXPECT_TRUE(texts.filter(QStringLiteral("How Orvik keeps your computer safe")).size() == 1);
    EXPECT_TRUE(texts.filter(QStringLiteral("https://orvik.example/app/security.html")).size() == 1);
    const auto thanks = texts.filter(QStringLiteral("Acknowledgements: "));
    ASSERT_EQ(thanks.size(), 1);
    EXPECT_TRUE(thanks[0].contains(QStringLiteral("Qt (LGPL-3 or GPL-2)"))) << thanks[0].toStdString();
    EXPECT_TRUE(thanks[0].contains(QStringLiteral("OpenSSL (Apache-2.0)"))) << thanks[0].toStdString();

    AboutSettings withoutSite("1.2", "34", "{{DOWNLOAD_URL}}");
    withoutSite.show();
    EXPECT_TRUE(test::visibleTexts(&withoutSite).filter(QStringLiteral("keeps your")).isEmpty());
}

TEST(FirewallSettingsTool, PrefersGufwAndIgnoresWhatCannotRun) {
    const auto folder = std::filesystem::temp_directory_path() / ("firewall-tools-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "gufw");
    const auto make = [&](const char* name, std::filesystem::perms perms) {
        std::ofstream(folder / name) << "#!/bin/sh\n";
        std::filesystem::permissions(folder / name, perms);
    };
    make("firewall-config", std::filesystem::perms::owner_all);
    const std::string path = "/nonexistent:" + folder.string();
    ASSERT_TRUE(FirewallSettingsTool::find(path));
    EXPECT_EQ(FirewallSettingsTool::find(path)->program(), folder / "firewall-config");
    std::filesystem::remove(folder / "gufw");
    make("gufw", std::filesystem::perms::owner_all);
    EXPECT_EQ(FirewallSettingsTool::find(path)->program(), folder / "gufw");
    std::filesystem::remove_all(folder);
    EXPECT_FALSE(FirewallSettingsTool::find(path));
}

} // namespace
} // namespace orvik::helper
