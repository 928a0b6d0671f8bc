// Google Test first: Xlib defines macros (None, Bool, Status) that clash with its names.
#include <gtest/gtest.h>

#include "apps/X11FrontmostAppTracker.hpp"
#include "apps/XdgAppCatalog.hpp"

#include "ChildReport.hpp"
#include "PrivateXServer.hpp"
#include "ProcessUsage.hpp"
#include "WaitUntil.hpp"
#include "platform/X11Display.hpp"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

namespace orvik::helper {
namespace {

namespace fs = std::filesystem;

// The result a catalog operation hands to its callback, waited for.
template <typename Result, typename Operation> Result await(Operation operation) {
    auto promise = std::make_shared<std::promise<Result>>();
    auto future = promise->get_future();
    operation([promise](Result result) { promise->set_value(std::move(result)); });
    return future.get();
}

// Two test applications, one in the user's folder (matched by its window class) and one in a sub-folder of the
// system folder (matched by StartupWMClass), with an SVG icon in the system's hicolor theme.
class AppDesktop : public testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
        ::setenv("XDG_DATA_DIRS", (root_ / "system").c_str(), 1);
        write(root_ / "data" / "applications" / "orvik-first.desktop",
              "Name=First App\nIcon=orvik-first\nX-AppVersion=2.0\nExec=" ORVIK_TEST_APP_WINDOW " orvik-first\n");
        write(root_ / "system" / "applications" / "tools" / "orvik-second.desktop",
              "Name=Second App\nStartupWMClass=OrvikSecond\nExec=" ORVIK_TEST_APP_WINDOW " OrvikSecond\n");
        const auto theme = root_ / "system" / "icons" / "hicolor";
        write(theme / "index.theme", "[Icon Theme]\nDirectories=scalable/apps\n[scalable/apps]\nSize=64\n"
                                     "MinSize=8\nMaxSize=512\nType=Scalable\n");
        write(theme / "scalable" / "apps" / "orvik-first.svg",
              R"(<svg xmlns="http://www.w3.org/2000/svg" width="8" height="8"><circle cx="4" cy="4" r="4"/></svg>)");
    }
    void TearDown() override { fs::remove_all(root_); }

    static void write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << (file.extension() == ".desktop" ? "[Desktop Entry]\nType=Application\n" : "") << text;
    }

    std::vector<RunningApp> running() {
        return await<std::vector<RunningApp>>([this](auto done) { catalog_->runningApps(std::move(done)); });
    }
    bool runs(const std::string& id, bool active) {
        const auto apps = running();
        return std::any_of(apps.begin(), apps.end(),
                           [&](const RunningApp& app) { return app.bundleID == id && app.isActive == active; });
    }
    bool runs(const std::string& id) { return runs(id, false) || runs(id, true); }
    CommandOutcome act(void (AppCataloging::*operation)(std::string, std::function<void(CommandOutcome)>),
                       const std::string& id) {
        return await<CommandOutcome>([&](auto done) { (catalog_.get()->*operation)(id, std::move(done)); });
    }

    fs::path root_ = fs::temp_directory_path() / ("orvik-app-desktop-" + std::to_string(::getpid()));
    std::unique_ptr<XdgAppCatalog> catalog_;
};

TEST_F(AppDesktop, ListsAndRendersTheInstalledApps) {
    catalog_ = std::make_unique<XdgAppCatalog>();
    const auto apps = await<std::vector<AppInfo>>([this](auto done) { catalog_->installedApps(std::move(done)); });
    EXPECT_EQ(apps, (std::vector<AppInfo>{{"First App", "orvik-first.desktop", "2.0"},
                                          {"Second App", "tools-orvik-second.desktop", ""}}));

    const auto icon = await<std::optional<AppIcon>>(
        [this](auto done) { catalog_->icon("orvik-first.desktop", 64, std::move(done)); });
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->version, "2.0");
    // The PNG header's width and height, big-endian at bytes 16 and 20.
    ASSERT_GT(icon->png.size(), 24U);
    EXPECT_EQ((std::vector<std::uint8_t>(icon->png.begin() + 16, icon->png.begin() + 24)),
              (std::vector<std::uint8_t>{0, 0, 0, 64, 0, 0, 0, 64}));
    const auto none = await<std::optional<AppIcon>>(
        [this](auto done) { catalog_->icon("tools-orvik-second.desktop", 64, std::move(done)); });
    EXPECT_FALSE(none);
}

TEST_F(AppDesktop, LaunchesActivatesAndQuitsAppsWhileTheFrontmostOneIsFollowed) {
    catalog_ = std::make_unique<XdgAppCatalog>();
    std::atomic<int> changes{0};
    X11FrontmostAppTracker tracker([&changes] { ++changes; });
    const auto frontmost = [&tracker](const std::string& id) {
        return test::waitUntil([&] { return tracker.snapshot().bundleID == id; });
    };
    const std::string first = "orvik-first.desktop";
    const std::string second = "tools-orvik-second.desktop";

    EXPECT_EQ(act(&AppCataloging::launch, first), CommandOutcome::success());
    EXPECT_TRUE(test::waitUntil([&] { return runs(first, true); }));
    EXPECT_TRUE(frontmost(first));
    EXPECT_EQ(tracker.snapshot().name, "First App");

    EXPECT_EQ(act(&AppCataloging::activate, second), CommandOutcome::success()); // not running: launched
    EXPECT_TRUE(test::waitUntil([&] { return runs(second, true) && runs(first, false); }));
    EXPECT_TRUE(frontmost(second));

    EXPECT_EQ(act(&AppCataloging::activate, first), CommandOutcome::success());
    EXPECT_TRUE(frontmost(first));
    EXPECT_EQ(act(&AppCataloging::launch, second), CommandOutcome::success()); // running: brought forward
    EXPECT_TRUE(frontmost(second));
    EXPECT_EQ(running().size(), 2U);
    EXPECT_GE(changes.load(), 4);

    for (const auto& id : {first, second}) {
        EXPECT_EQ(act(&AppCataloging::quit, id), CommandOutcome::success());
        EXPECT_TRUE(test::waitUntil([&] { return !runs(id); })) << id;
        EXPECT_EQ(act(&AppCataloging::quit, id), CommandOutcome::failure(ErrorCode::notFound));
    }
    EXPECT_EQ(act(&AppCataloging::launch, "absent.desktop"), CommandOutcome::failure(ErrorCode::notFound));
}

// Nothing on the desktop changes: the tracker's thread waits for the X server without waking (the window manager,
// started with the test, may still be setting the root window's properties at first).
TEST_F(AppDesktop, FrontmostTrackerSleepsWhileNothingChanges) {
    X11FrontmostAppTracker tracker([] {});
    constexpr auto settles = std::chrono::seconds(2);
    constexpr auto quiet = std::chrono::seconds(4);
    ASSERT_TRUE(test::waitUntil([&] {
        const auto started = test::ProcessUsage::of(getpid());
        return started && started->wakeUpsOf("Orvik.Frontmost") > 0;
    }));
    std::this_thread::sleep_for(settles);
    const auto before = test::ProcessUsage::of(getpid());
    ASSERT_TRUE(before);
    std::this_thread::sleep_for(quiet);
    const auto after = test::ProcessUsage::of(getpid());
    ASSERT_TRUE(after);
    // A poll once a second woke it four times and more.
    EXPECT_LE(after->wakeUpsOf("Orvik.Frontmost") - before->wakeUpsOf("Orvik.Frontmost"), 2U);
}

// Descriptors a library opened without close-on-exec (the test's own stand in for them), the helper's standard
// input, output and error and its working directory must not reach an application it starts.
TEST_F(AppDesktop, ALaunchedAppGetsOnlyTheNullDeviceAsStandardDescriptorsAndTheHomeAsItsFolder) {
    const auto report = root_ / "report";
    const auto home = root_ / "home";
    fs::create_directories(home);
    write(root_ / "data" / "applications" / "orvik-report.desktop",
          "Name=Report\nExec=" ORVIK_TEST_CHILD_REPORT " " + report.string() + "\n");
    write(root_ / "data" / "applications" / "orvik-report-in-folder.desktop",
          "Name=Report In Folder\nPath=" + root_.string() + "\nExec=" ORVIK_TEST_CHILD_REPORT " " + report.string() +
              "-in-folder\n");
    int leaked[2];
    ASSERT_EQ(::pipe(leaked), 0);
    const std::string previousHome = std::getenv("HOME") ? std::getenv("HOME") : "/";
    ::setenv("HOME", home.c_str(), 1);
    catalog_ = std::make_unique<XdgAppCatalog>();
    EXPECT_EQ(act(&AppCataloging::launch, "orvik-report.desktop"), CommandOutcome::success());
    EXPECT_EQ(act(&AppCataloging::launch, "orvik-report-in-folder.desktop"), CommandOutcome::success());
    ::setenv("HOME", previousHome.c_str(), 1);
    ::close(leaked[0]);
    ::close(leaked[1]);

    const auto seen = test::ChildReport::awaited(report);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->descriptors, test::ChildReport::onlyNullDevices());
    EXPECT_EQ(seen->input, "end");
    EXPECT_EQ(seen->workingDirectory, home.string());
    const auto inFolder = test::ChildReport::awaited(report.string() + "-in-folder");
    ASSERT_TRUE(inFolder);
    EXPECT_EQ(inFolder->workingDirectory, root_.string()) << "an entry's own Path is kept";
}

// A window of the first app published as the active one, as a window manager would; on its own connection.
std::unique_ptr<X11Display> announceActiveWindow(const std::string& server) {
    auto display = X11Display::open(server);
    if (!display) return nullptr;
    const Window window = XCreateSimpleWindow(display->get(), display->root(), 0, 0, 10, 10, 0, 0, 0);
    std::string name = "orvik-first";
    XClassHint hint{name.data(), name.data()};
    XSetClassHint(display->get(), window, &hint);
    XChangeProperty(display->get(), display->root(), display->atom("_NET_ACTIVE_WINDOW"), XA_WINDOW, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&window), 1);
    XSync(display->get(), False);
    return display;
}

TEST_F(AppDesktop, FrontmostAppEmptiesWhenTheXServerGoesAndComesBackWithIt) {
    x11test::PrivateXServer server;
    ASSERT_FALSE(server.name().empty());
    auto publisher = announceActiveWindow(server.name());
    std::atomic<int> changes{0};
    X11FrontmostAppTracker tracker([&changes] { ++changes; }, {DesktopEntryScanner::defaultFolders(),
                                                               DesktopEntryScanner::currentContext(), server.name()});
    const FrontmostApp firstApp{"First App", "orvik-first.desktop"};
    EXPECT_TRUE(test::waitUntil([&] { return tracker.snapshot() == firstApp; }));
    EXPECT_EQ(changes.load(), 0); // the first reading is no change

    server.stop();
    EXPECT_TRUE(test::waitUntil([&] { return tracker.snapshot() == FrontmostApp{}; }));
    ASSERT_TRUE(server.restart());
    auto again = announceActiveWindow(server.name());
    EXPECT_TRUE(test::waitUntil([&] { return tracker.snapshot() == firstApp; }));
    // The change is told after the snapshot is stored.
    EXPECT_TRUE(test::waitUntil([&] { return changes.load() >= 2; }));
    EXPECT_EQ(changes.load(), 2);
}

} // namespace
} // namespace orvik::helper
