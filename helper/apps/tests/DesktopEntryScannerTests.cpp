#include "apps/DesktopEntryScanner.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace orvik::helper {
namespace {

namespace fs = std::filesystem;

// A user folder and a system folder of application entries, removed afterwards.
class ApplicationFolders {
public:
    ApplicationFolders() : root_(fs::temp_directory_path() / ("orvik-apps-" + std::to_string(::getpid()))) {
        fs::create_directories(user());
        fs::create_directories(system());
    }
    ~ApplicationFolders() { fs::remove_all(root_); }

    fs::path user() const { return root_ / "user"; }
    fs::path system() const { return root_ / "system"; }
    fs::path root() const { return root_; }

    static void write(const fs::path& file, const std::string& keys, const std::string& name = "App") {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=app %U\n" << keys;
    }

private:
    fs::path root_;
};

struct ListingCase {
    const char* description;
    const char* userFile; // relative to the user folder; empty: none
    const char* userKeys;
    const char* systemKeys; // of "app.desktop" in the system folder; null: none
    std::vector<std::string> listed;
};

class DesktopEntryListing : public testing::TestWithParam<ListingCase> {};

TEST_P(DesktopEntryListing, ListsOnlyWhatTheRulesAllow) {
    const auto& test = GetParam();
    ApplicationFolders folders;
    if (*test.userFile) ApplicationFolders::write(folders.user() / test.userFile, test.userKeys);
    if (test.systemKeys) ApplicationFolders::write(folders.system() / "app.desktop", test.systemKeys, "System");
    // An executable for TryExec to find.
    const auto bin = folders.root() / "bin";
    fs::create_directories(bin);
    std::ofstream(bin / "present") << "#!/bin/sh\n";
    fs::permissions(bin / "present", fs::perms::owner_all);

    const DesktopEntryScanner::Context context{{"XFCE", "GNOME"}, {bin}, ""};
    std::vector<std::string> listed;
    for (const auto& entry : DesktopEntryScanner::scan({folders.user(), folders.system()}, context)) {
        listed.push_back(entry.id + ":" + entry.name);
    }
    EXPECT_EQ(listed, test.listed) << test.description;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, DesktopEntryListing,
    testing::Values(
        ListingCase{"plain entry", "app.desktop", "", nullptr, {"app.desktop:App"}},
        ListingCase{"NoDisplay", "app.desktop", "NoDisplay=true\n", nullptr, {}},
        ListingCase{"Hidden", "app.desktop", "Hidden=true\n", nullptr, {}},
        ListingCase{"not an application", "app.desktop", "Type=Link\n", nullptr, {}},
        ListingCase{"OnlyShowIn another desktop", "app.desktop", "OnlyShowIn=KDE;\n", nullptr, {}},
        ListingCase{"OnlyShowIn this desktop", "app.desktop", "OnlyShowIn=KDE;GNOME;\n", nullptr, {"app.desktop:App"}},
        ListingCase{"NotShowIn this desktop", "app.desktop", "NotShowIn=XFCE;\n", nullptr, {}},
        ListingCase{"TryExec missing", "app.desktop", "TryExec=absent\n", nullptr, {}},
        ListingCase{"TryExec on the path", "app.desktop", "TryExec=present\n", nullptr, {"app.desktop:App"}},
        ListingCase{"user entry hides the system one", "app.desktop", "", "", {"app.desktop:App"}},
        ListingCase{"hidden user entry hides the system one", "app.desktop", "Hidden=true\n", "", {}},
        ListingCase{"system entry alone", "", "", "", {"app.desktop:System"}},
        ListingCase{"sub-folder joined into the id",
                    "vendor/tools/app.desktop",
                    "",
                    "",
                    {"vendor-tools-app.desktop:App", "app.desktop:System"}}));

TEST(DesktopEntryScanner, SortsNamesWithNumbersByValueAndKeepsEqualNamesInScanOrder) {
    ApplicationFolders folders;
    for (const auto& [file, name] : std::vector<std::pair<std::string, std::string>>{{"a.desktop", "App 10"},
                                                                                     {"b.desktop", "app 9"},
                                                                                     {"c.desktop", "Zed"},
                                                                                     {"d.desktop", "App 9"},
                                                                                     {"e.desktop", "Écran"}}) {
        ApplicationFolders::write(folders.user() / file, "", name);
    }
    std::vector<std::string> order;
    for (const auto& entry : DesktopEntryScanner::scan({folders.user()}, {})) order.push_back(entry.name);
    EXPECT_EQ(order, (std::vector<std::string>{"app 9", "App 9", "App 10", "Écran", "Zed"}));
}

TEST(DesktopEntryScanner, ReadsTheLocalizedNameAndTheAppVersionButNotTheFormatVersion) {
    ApplicationFolders folders;
    ApplicationFolders::write(folders.user() / "v.desktop", "Version=1.5\nX-AppVersion=3.2.1\n");
    ApplicationFolders::write(folders.user() / "w.desktop", "Version=1.5\n");
    const auto entries = DesktopEntryScanner::scan({folders.user()}, {});
    ASSERT_EQ(entries.size(), 2U);
    EXPECT_EQ(entries[0].version, "3.2.1");
    EXPECT_EQ(entries[1].version, "");

    ::setenv("LANGUAGE", "de", 1);
    ApplicationFolders::write(folders.user() / "l.desktop", "Name[de]=Rechner\n", "Calculator");
    const auto localized = DesktopEntryScanner::read(folders.user() / "l.desktop", {});
    ::unsetenv("LANGUAGE");
    ASSERT_TRUE(localized);
    EXPECT_EQ(localized->name, "Rechner");
}

TEST(DesktopEntryScanner, StoresIdentifiersNfcNormalised) {
    ApplicationFolders folders;
    // "é" decomposed (e + combining acute) in the file name.
    ApplicationFolders::write(folders.user() / "caf\x65\xcc\x81.desktop", "");
    const auto entries = DesktopEntryScanner::scan({folders.user()}, {});
    ASSERT_EQ(entries.size(), 1U);
    EXPECT_EQ(entries[0].id, "caf\xc3\xa9.desktop");
}

} // namespace
} // namespace orvik::helper
