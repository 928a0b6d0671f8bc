#include "pro/CLIShortcuts.hpp"

#include "ChildReport.hpp"
#include "TemporaryFolder.hpp"
#include "WaitUntil.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <future>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;
using test::TemporaryFolder;
using test::waitUntil;

struct RecordingOpener final : URLOpening {
    std::vector<std::string> opened;
    void open(std::string url, std::function<void(bool)> done) override {
        opened.push_back(std::move(url));
        done(false);
    }
};

template <class T, class Start> T awaited(Start start) {
    auto promise = std::make_shared<std::promise<T>>();
    start([promise](T value) { promise->set_value(std::move(value)); });
    auto future = promise->get_future();
    if (future.wait_for(60s) != std::future_status::ready) throw std::runtime_error("no answer");
    return future.get();
}

// A process's state letter ('Z' for a zombie), absent once it has been reaped.
std::optional<std::string> processState(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pidText, name, state;
    if (!(stat >> pidText >> name >> state)) return std::nullopt;
    return state;
}

pid_t pidIn(const std::filesystem::path& file) {
    pid_t pid = 0;
    EXPECT_TRUE(waitUntil([&] { return (std::ifstream(file) >> pid) && pid > 0; }));
    return pid;
}

class ShortcutsProgram : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_CONFIG_HOME", config.path().c_str(), 1); }

    std::filesystem::path command(const std::string& relative, const std::string& body) {
        return config.write("orvik-helper/shortcuts/" + relative, "#!/bin/sh\n" + body + "\n", true);
    }
    CommandOutcome run(CLIShortcuts& shortcuts, const std::string& name) {
        return awaited<CommandOutcome>([&](auto done) { shortcuts.run(name, done); });
    }
    ShortcutsListing list(CLIShortcuts& shortcuts) {
        return awaited<ShortcutsListing>([&](auto done) { shortcuts.list(done); });
    }

    TemporaryFolder config;
    TemporaryFolder scratch;
    std::shared_ptr<RecordingOpener> opener = std::make_shared<RecordingOpener>();
    CLIShortcuts::Timing shortWaits{200ms, 300ms};
};

TEST_F(ShortcutsProgram, ListsTheUsersCommandsWithTheirFolders) {
    command("Alpha", "true");
    command("Work/-Backup", "true");
    command("Work/Alpha", "true");
    config.write("orvik-helper/shortcuts/notes.txt", "not a command");
    command(".hidden", "true");
    CLIShortcuts shortcuts(ORVIK_SHORTCUTS_PROGRAM, opener);
    EXPECT_EQ(list(shortcuts),
              ShortcutsListing(std::vector<ShortcutInfo>{{"Alpha", std::nullopt}, {"-Backup", "Work"}}));
}

TEST_F(ShortcutsProgram, EachListedNameRunsTheFileItWasListedForAndFolderLinksAreNotFollowed) {
    const auto ran = [&](const std::string& marker) { return "touch '" + (scratch.path() / marker).string() + "'"; };
    command("Backup", ran("top"));
    command("Daily/Backup", ran("daily"));
    command("Daily/Report", "true");
    command("Caf\xC3\xA9", "true");        // precomposed é
    command("Daily/Cafe\xCC\x81", "true"); // e and a combining accent: the same name in NFC
    command("Trailing ", "true");
    command("\xE2\x80\x83Leading", "true"); // an em space
    command("Line\xE2\x80\xA8"
            "Break",
            "true");
    command("Broken\xFF", "true");
    scratch.write("outside/Outside", "#!/bin/sh\ntrue\n", true);
    const auto root = config.path() / "orvik-helper" / "shortcuts";
    std::filesystem::create_directory_symlink(".", root / "Loop");
    std::filesystem::create_directory_symlink(scratch.path() / "outside", root / "Elsewhere");
    CLIShortcuts shortcuts(ORVIK_SHORTCUTS_PROGRAM, opener);

    EXPECT_EQ(list(shortcuts), ShortcutsListing(std::vector<ShortcutInfo>{
                                   {"Backup", std::nullopt}, {"Caf\xC3\xA9", std::nullopt}, {"Report", "Daily"}}));
    EXPECT_EQ(run(shortcuts, "Backup"), CommandOutcome::success());
    EXPECT_TRUE(std::filesystem::exists(scratch.path() / "top"));
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / "daily"));
    EXPECT_EQ(run(shortcuts, "Outside"), CommandOutcome::failure(ErrorCode::internalError, "shortcut exited 1"));
}

// Descriptors a library of the helper opened without close-on-exec (the test's own stand in for them), standard
// input and the working directory must not reach a command or the listing program.
TEST_F(ShortcutsProgram, ChildrenGetOnlyTheNullDeviceAsStandardDescriptorsAndTheHomeAsTheirFolder) {
    int leaked[2];
    ASSERT_EQ(::pipe(leaked), 0);
    const auto home = scratch.path() / "home";
    std::filesystem::create_directory(home);
    const std::string previousHome = std::getenv("HOME") ? std::getenv("HOME") : "/";
    setenv("HOME", home.c_str(), 1);
    const auto commandReport = scratch.path() / "command-report";
    const auto listingReport = scratch.path() / "listing-report";
    command("Report", "exec '" ORVIK_TEST_CHILD_REPORT "' '" + commandReport.string() + "'");
    const auto lister = scratch.write(
        "lister", "#!/bin/sh\nexec '" ORVIK_TEST_CHILD_REPORT "' '" + listingReport.string() + "'\n", true);

    CLIShortcuts shortcuts(ORVIK_SHORTCUTS_PROGRAM, opener);
    EXPECT_EQ(run(shortcuts, "Report"), CommandOutcome::success());
    CLIShortcuts listing(lister, opener);
    EXPECT_EQ(list(listing), ShortcutsListing(std::vector<ShortcutInfo>{}));
    setenv("HOME", previousHome.c_str(), 1);
    ::close(leaked[0]);
    ::close(leaked[1]);

    const auto ofCommand = test::ChildReport::awaited(commandReport);
    ASSERT_TRUE(ofCommand);
    EXPECT_EQ(ofCommand->descriptors, test::ChildReport::onlyNullDevices());
    EXPECT_EQ(ofCommand->input, "end");
    EXPECT_EQ(ofCommand->workingDirectory, home.string());
    const auto ofListing = test::ChildReport::awaited(listingReport);
    ASSERT_TRUE(ofListing);
    ASSERT_EQ(ofListing->descriptors.size(), 3U) << "only standard input, output and error";
    EXPECT_EQ(ofListing->descriptors.at(0), "/dev/null");
    EXPECT_EQ(ofListing->descriptors.at(1).rfind("pipe:", 0), 0U) << "the output is read";
    EXPECT_EQ(ofListing->descriptors.at(2), "/dev/null");
    EXPECT_EQ(ofListing->workingDirectory, home.string());
}

TEST_F(ShortcutsProgram, ACommandFailingBeforeTheRealWaitIsAnInternalErrorAndAHyphenatedNameRuns) {
    command("Fails", "exit 1");
    command("-Backup", "touch '" + (scratch.path() / "ran").string() + "'");
    CLIShortcuts shortcuts(ORVIK_SHORTCUTS_PROGRAM, opener);
    EXPECT_EQ(run(shortcuts, "Fails"), CommandOutcome::failure(ErrorCode::internalError, "shortcut exited 1"));
    EXPECT_EQ(run(shortcuts, "-Backup"), CommandOutcome::success());
    EXPECT_TRUE(std::filesystem::exists(scratch.path() / "ran"));
    EXPECT_EQ(run(shortcuts, ".."), CommandOutcome::failure(ErrorCode::internalError, "shortcut exited 1"));
}

TEST_F(ShortcutsProgram, ACommandOutlivingTheWaitSucceedsKeepsRunningAndIsReapedWhenItEnds) {
    const auto finished = scratch.path() / "finished";
    command("Slow",
            "echo $$ > '" + (scratch.path() / "pid").string() + "'; sleep 1; touch '" + finished.string() + "'");
    CLIShortcuts shortcuts(ORVIK_SHORTCUTS_PROGRAM, opener, shortWaits);
    EXPECT_EQ(run(shortcuts, "Slow"), CommandOutcome::success());
    EXPECT_FALSE(std::filesystem::exists(finished));
    const pid_t pid = pidIn(scratch.path() / "pid");
    EXPECT_TRUE(waitUntil([&] { return std::filesystem::exists(finished) && !processState(pid); }, 20s));
}

TEST_F(ShortcutsProgram, AListingWhoseChildHoldsTheOutputOpenEndsAtTheWatchdogWithTheGroupKilled) {
    const auto grandchild = scratch.path() / "grandchild";
    const auto lister =
        scratch.write("lister", "#!/bin/sh\necho Alpha\nsleep 60 &\necho $! > '" + grandchild.string() + "'\n", true);
    CLIShortcuts shortcuts(lister, opener, shortWaits);
    EXPECT_EQ(list(shortcuts), ShortcutsListing(std::vector<ShortcutInfo>{{"Alpha", "Alpha"}}));
    const pid_t pid = pidIn(grandchild);
    EXPECT_TRUE(waitUntil([&] { return processState(pid).value_or("Z") == "Z"; }));
}

TEST_F(ShortcutsProgram, WithoutTheProgramListingFailsAndARunHandsTheLinkToTheDesktop) {
    CLIShortcuts shortcuts(scratch.path() / "missing", opener, shortWaits);
    EXPECT_EQ(list(shortcuts), ShortcutsListing(ShortcutsError{"shortcuts not available"}));
    EXPECT_EQ(run(shortcuts, "My Mail"), CommandOutcome::failure(ErrorCode::unsupported));
    EXPECT_EQ(opener->opened, std::vector<std::string>{"shortcuts://run-shortcut?name=My%20Mail"});
}

} // namespace
} // namespace orvik::helper
