// A phone's pro commands end to end: orvik-phone against the test server with --pro on an X server with a window
// manager, over application, command and link-handler folders of the test's own.

#include "ChildReport.hpp"
#include "PairedPhone.hpp"
#include "WaitUntil.hpp"
#include "orvik/protocol/coding/Base64.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace orvik::test {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view appID = "orvik-first.desktop";

// The user's desktop of the test: one application with an SVG icon, one command that writes a file, and a
// handler for https links that writes the link it gets. The server inherits it through the XDG variables.
class TestDesktop {
public:
    TestDesktop() {
        char folderTemplate[] = "/tmp/orvik-pro-XXXXXX";
        if (!mkdtemp(folderTemplate)) throw std::runtime_error("no temporary folder");
        root_ = folderTemplate;
        setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
        setenv("XDG_DATA_DIRS", (root_ / "none").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (root_ / "none").c_str(), 1);
        write("data/applications/orvik-first.desktop",
              "[Desktop Entry]\nType=Application\nName=First App\n"
              "Icon=orvik-first\nExec=" ORVIK_TEST_APP_WINDOW " orvik-first\n");
        write("data/icons/hicolor/index.theme",
              "[Icon Theme]\nDirectories=scalable/apps\n[scalable/apps]\nSize=48\nType=Scalable\n");
        write("data/icons/hicolor/scalable/apps/orvik-first.svg",
              R"(<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48"><rect width="48" height="48" )"
              R"(fill="#3060c0"/></svg>)");
        executable("config/orvik-helper/shortcuts/Say Hello", "#!/bin/sh\necho hello > '" + path("said") + "'\n");
        executable("config/orvik-helper/shortcuts/Report",
                   "#!/bin/sh\nexec '" ORVIK_TEST_CHILD_REPORT "' '" + path("command-report") + "'\n");
        executable("config/orvik-helper/shortcuts/Linger",
                   "#!/bin/sh\nsleep 60 &\necho $! > '" + path("lingering") + "'\n");
        write("data/applications/orvik-report.desktop",
              "[Desktop Entry]\nType=Application\nName=Report\nExec=" ORVIK_TEST_CHILD_REPORT " " + path("app-report") +
                  "\n");
        executable("handler", "#!/bin/sh\necho \"$1\" > '" + path("opened") +
                                  "'\nexec '" ORVIK_TEST_CHILD_REPORT "' '" + path("link-report") + "'\n");
        fs::create_directory(root_ / "home");
        write("data/applications/orvik-test-browser.desktop", "[Desktop Entry]\nType=Application\nName=Browser\n"
                                                              "NoDisplay=true\nExec=" +
                                                                  path("handler") +
                                                                  " %u\n"
                                                                  "MimeType=x-scheme-handler/https;\n");
        write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/https=orvik-test-browser.desktop\n");
    }
    ~TestDesktop() { fs::remove_all(root_); }

    std::string path(const std::string& relative) const { return (root_ / relative).string(); }
    std::string read(const std::string& relative) const {
        std::string line;
        std::getline(std::ifstream(root_ / relative), line);
        return line;
    }

private:
    void write(const std::string& relative, const std::string& text) {
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative) << text;
    }
    void executable(const std::string& relative, const std::string& script) {
        write(relative, script);
        fs::permissions(root_ / relative, fs::perms::owner_all);
    }

    fs::path root_;
};

// The reply to the request with this identifier.
json answer(ChildProcess& phone, const std::string& type, int requestID) {
    return waitFor(phone, "type", type,
                   [&](const json& line) { return line.at("payload").value("requestID", -1) == requestID; })
        .at("payload");
}

bool lists(const json& apps, std::string_view bundleID) {
    for (const auto& app : apps) {
        if (app.at("bundleID") == bundleID) return true;
    }
    return false;
}

TEST(ProSession, APhoneListsLaunchesAndQuitsAppsRunsACommandOpensALinkAndUsesTheClipboard) {
    std::signal(SIGPIPE, SIG_IGN);
    TestDesktop desktop;
    PairedPhone paired({"--desktop", "--pro"});
    auto& phone = *paired.phone;

    paired.send(AppsListRequest{{1}});
    EXPECT_TRUE(lists(answer(phone, "appsList", 1).at("apps"), appID));
    paired.send(AppIconRequest{2, std::string(appID), 64});
    const auto png = Base64::decode(answer(phone, "appIcon", 2).at("png").get<std::string>());
    ASSERT_TRUE(png && png->size() > 24);
    // The IHDR chunk's width and height, big-endian, at bytes 16 and 20; both below 256 here.
    EXPECT_EQ(std::vector<int>({(*png)[16], (*png)[17], (*png)[18], (*png)[19]}), std::vector<int>({0, 0, 0, 64}));
    EXPECT_EQ(std::vector<int>({(*png)[20], (*png)[21], (*png)[22], (*png)[23]}), std::vector<int>({0, 0, 0, 64}));

    paired.send(AppCommand{3, std::string(appID), AppAction::launch});
    EXPECT_EQ(answer(phone, "commandResult", 3), json({{"requestID", 3}})) << "no error";
    auto running = [&](int requestID) {
        paired.send(RunningAppsRequest{{static_cast<std::uint32_t>(requestID)}});
        return lists(answer(phone, "runningApps", requestID).at("apps"), appID);
    };
    int request = 100;
    EXPECT_TRUE(waitUntil([&] { return running(++request); }));
    auto frontmost = [](const json& line) { return line.at("payload").value("frontmostBundleID", "") == appID; };
    EXPECT_TRUE(waitUntil([&] {
        paired.send(StatusRequest{});
        return frontmost(waitFor(phone, "type", "status"));
    })) << "the launched app's window is reported as frontmost";
    paired.send(AppCommand{4, std::string(appID), AppAction::quit});
    EXPECT_EQ(answer(phone, "commandResult", 4), json({{"requestID", 4}}));
    EXPECT_TRUE(waitUntil([&] { return !running(++request); }));

    paired.send(ShortcutsListRequest{{5}});
    EXPECT_NE(answer(phone, "shortcutsList", 5).dump().find("Say Hello"), std::string::npos);
    paired.send(ShortcutRun{6, "Say Hello"});
    EXPECT_EQ(answer(phone, "commandResult", 6), json({{"requestID", 6}}));
    EXPECT_TRUE(waitUntil([&] { return desktop.read("said") == "hello"; }));

    paired.send(SendURL{7, "https://example.org/orvik?x=1"});
    EXPECT_EQ(answer(phone, "commandResult", 7), json({{"requestID", 7}}));
    EXPECT_TRUE(waitUntil([&] { return desktop.read("opened") == "https://example.org/orvik?x=1"; }));

    paired.send(ClipboardSet{8, "Grüße from the phone"});
    EXPECT_EQ(answer(phone, "commandResult", 8), json({{"requestID", 8}}));
    paired.send(ClipboardGet{{9}});
    EXPECT_EQ(answer(phone, "clipboardContent", 9).value("text", ""), "Grüße from the phone");
    EXPECT_EQ(paired.stop(), 0);
}

// Starts the test server with the user's home in the test's folder, as the helper's children are to see it.
class HomeForTheServer {
public:
    explicit HomeForTheServer(const std::string& home) : previous_(std::getenv("HOME") ? std::getenv("HOME") : "/") {
        setenv("HOME", home.c_str(), 1);
    }
    ~HomeForTheServer() { setenv("HOME", previous_.c_str(), 1); }
    HomeForTheServer(const HomeForTheServer&) = delete;
    HomeForTheServer& operator=(const HomeForTheServer&) = delete;

private:
    std::string previous_;
};

bool acceptsConnections(int port) {
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return connected;
}

// Seen from inside: a user command, an application and a link handler that a phone starts get nothing of the
// server (its listening socket, the phone's connection, its standard input, output and error, its working
// folder), and a command that outlives the server does not keep its port open.
TEST(ProSession, WhatAPhoneStartsGetsOnlyTheNullDeviceAndTheHomeAndNothingOfTheServer) {
    std::signal(SIGPIPE, SIG_IGN);
    TestDesktop desktop;
    std::optional<PairedPhone> started;
    {
        HomeForTheServer home(desktop.path("home"));
        started.emplace(std::vector<std::string>{"--pro"});
    }
    auto& paired = *started;
    auto& phone = *paired.phone;

    paired.send(ShortcutsListRequest{{1}});
    answer(phone, "shortcutsList", 1);
    paired.send(ShortcutRun{2, "Report"});
    EXPECT_EQ(answer(phone, "commandResult", 2), json({{"requestID", 2}}));
    paired.send(AppsListRequest{{3}});
    answer(phone, "appsList", 3);
    paired.send(AppCommand{4, "orvik-report.desktop", AppAction::launch});
    EXPECT_EQ(answer(phone, "commandResult", 4), json({{"requestID", 4}}));
    paired.send(SendURL{5, "https://example.org/report"});
    EXPECT_EQ(answer(phone, "commandResult", 5), json({{"requestID", 5}}));
    paired.send(ShortcutRun{6, "Linger"});
    EXPECT_EQ(answer(phone, "commandResult", 6), json({{"requestID", 6}}));

    for (const auto* report : {"command-report", "app-report", "link-report"}) {
        const auto seen = ChildReport::awaited(desktop.path(report));
        ASSERT_TRUE(seen) << report;
        EXPECT_EQ(seen->descriptors, ChildReport::onlyNullDevices()) << report;
        EXPECT_EQ(seen->input, "end") << report;
        EXPECT_EQ(seen->workingDirectory, desktop.path("home")) << report;
    }
    pid_t lingering = 0;
    ASSERT_TRUE(waitUntil([&] { return (std::ifstream(desktop.path("lingering")) >> lingering) && lingering > 0; }));
    EXPECT_EQ(paired.stop(), 0);
    EXPECT_FALSE(acceptsConnections(paired.port)) << "the command still running holds no socket of the server";
    ::kill(lingering, SIGKILL);
}

} // namespace
} // namespace orvik::test
