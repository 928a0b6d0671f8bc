#include "VisibleText.hpp"
#include "settings/AboutSettings.hpp"
#include "settings/FirewallSettingsTool.hpp"

#include <filesystem>
#include <fstream>

namespace orvik::helper {
namespace {

TEST(AboutSettings, SecurityPageLiesUnderTheDownloadSite) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"https://orvik.example/app", "https://orvik.example/app/security.html"},
        {"https://orvik.example/app/", "https://orvik.example/app/security.html"},
        {"https://orvik.example", "https://orvik.example/security.html"},
        {"downloads", "downloads/security.html"},
        {"", std::nullopt},
        {"{{DOWNLOAD_URL}}", std::nullopt},
        {"http://[::1", std::nullopt}};
    for (const auto& [base, page] : cases) EXPECT_EQ(AboutSettings::securityPageURL(base), page) << base;
}

TEST(AboutSettings, LinksTheSecurityPageOnlyWhenTheBuildNamesASiteAndThanksTheLinkedLibraries) {
    AboutSettings withSite("1.2", "", "https://orvik.example/app");
    const QStringList texts = test::visibleTexts(&withSite);
    EXPECT_EQ(texts[1], "Version 1.2 ()");
    EXPECT_TRUE(texts[3].contains("https://orvik.example/app/security.html\">How Orvik keeps your computer safe<"));
    EXPECT_TRUE(texts[4].startsWith("Acknowledgements: Qt (LGPL-3 or GPL-2), OpenSSL (Apache-2.0), ")) << texts[4];
    AboutSettings withoutSite("1.2", "34", "{{DOWNLOAD_URL}}");
    EXPECT_TRUE(test::visibleTexts(&withoutSite)[3].startsWith("Acknowledgements: "));
}

TEST(FirewallSettingsTool, PrefersGufwAndIgnoresWhatCannotRun) {
    const auto folder = std::filesystem::temp_directory_path() / ("firewall-tools-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "gufw");
    std::ofstream(folder / "firewall-config") << "#!/bin/sh\n";
    std::filesystem::permissions(folder / "firewall-config", std::filesystem::perms::owner_all);
    const std::string path = "/nonexistent:" + folder.string();
    EXPECT_EQ(FirewallSettingsTool::find(path).value().program(), folder / "firewall-config");
    std::filesystem::remove(folder / "gufw");
    std::filesystem::copy_file(folder / "firewall-config", folder / "gufw");
    EXPECT_EQ(FirewallSettingsTool::find(path).value().program(), folder / "gufw");
    std::filesystem::remove_all(folder);
    EXPECT_FALSE(FirewallSettingsTool::find(path));
}

} // namespace
} // namespace orvik::helper
