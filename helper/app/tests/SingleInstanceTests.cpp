#include "app/SingleInstance.hpp"

#include "core/tests/CapturedLog.hpp"
#include "core/tests/TemporaryDirectory.hpp"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <thread>
#include <vector>

namespace orvik::helper {

void PrintTo(SingleInstance::Start start, std::ostream* out) {
    static constexpr const char* names[] = {"first", "handedOver", "noAnswer", "noLock"};
    *out << names[static_cast<int>(start)];
}

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Start = SingleInstance::Start;

// Tests run as root in CI, where only another user meets a folder it cannot write or a file it cannot open: the
// starts then run as nobody.
constexpr uid_t nobody = 65534;
const uid_t user = ::geteuid() == 0 ? nobody : ::geteuid();

void mine(const fs::path& path) {
    if (::geteuid() == 0 && ::chown(path.c_str(), user, user) != 0) std::abort();
}
// Read-only for the user: root's own folder when the user is another, else a folder without write permission.
void readOnly(const fs::path& path) {
    if (::geteuid() == 0 && ::chown(path.c_str(), 0, 0) != 0) std::abort();
    fs::permissions(path, fs::perms(::geteuid() == 0 ? 0755 : 0555));
}
// A file the user cannot open, as a run under sudo leaves it.
void closedFile(const fs::path& path) {
    std::ofstream(path) << "";
    fs::permissions(path, fs::perms(::geteuid() == 0 ? 0600 : 0));
}

struct Folders {
    fs::path settings;
    fs::path runtime;
    fs::path otherRuntime;
};

// The runtime folder a start is given: the session's, another session's, or none (a shell outside the session).
enum class Runtime { session, other, none };

struct Setting {
    const char* name;
    // Spoils the settings and runtime folders (all made for the user).
    void (*spoil)(const Folders&);
    Runtime firstRuntime;
    Runtime secondRuntime;
    Start first;
    Start second;
    // Long enough, the settings folder has no room for its socket (a socket address holds 107 bytes).
    std::size_t settingsNameLength = 8;
};

void PrintTo(const Setting& setting, std::ostream* out) {
    *out << setting.name;
}

SingleInstance::Paths pathsFor(const Folders& folders, Runtime runtime) {
    switch (runtime) {
    case Runtime::session: return SingleInstance::Paths::of(folders.settings, folders.runtime);
    case Runtime::other: return SingleInstance::Paths::of(folders.settings, folders.otherRuntime);
    case Runtime::none: break;
    }
    return SingleInstance::Paths::of(folders.settings, {});
}

struct Outcome {
    Start first;
    Start second;
    bool broughtForward;
};

// Two starts as the user in a child process, the second while the first runs its event loop: what each one got
// and whether the first brought its windows forward; absent when the child could not become the user.
std::optional<Outcome> twoStarts(const SingleInstance::Paths& firstPaths, const SingleInstance::Paths& secondPaths) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() != user && (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0)) {
            ::_exit(255);
        }
        int argc = 1;
        char name[] = "orvik-helper";
        char* argv[] = {name, nullptr};
        QCoreApplication application(argc, argv);
        std::unique_ptr<SingleInstance> first;
        std::unique_ptr<SingleInstance> second;
        bool broughtForward = false;
        const auto firstStart = SingleInstance::claim(firstPaths, first, 100ms);
        if (first) first->onLaterStart([&] { broughtForward = true; });
        auto secondStart = Start::noLock;
        std::thread later([&] {
            secondStart = SingleInstance::claim(secondPaths, second, 100ms);
            QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
        });
        QCoreApplication::exec();
        later.join();
        ::_exit(static_cast<int>(firstStart) * 16 + static_cast<int>(secondStart) * 2 + (broughtForward ? 1 : 0));
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 255) return {};
    const int code = WEXITSTATUS(status);
    return Outcome{Start(code / 16), Start(code % 16 / 2), code % 2 == 1};
}

class SingleInstanceFixture : public ::testing::TestWithParam<Setting> {};

TEST_P(SingleInstanceFixture, ASecondStartNeverRunsBesideTheFirstHandsOverWhereverItRunsAndOnlyNoLockStopsBoth) {
    const testing::TemporaryDirectory base;
    fs::permissions(base.path(), fs::perms(0755));
    const Folders folders{base / std::string(GetParam().settingsNameLength, 's'), base / "runtime",
                          base / "other-runtime"};
    for (const auto& folder : {folders.settings, folders.runtime, folders.otherRuntime}) {
        fs::create_directory(folder);
        mine(folder);
    }
    GetParam().spoil(folders);

    const auto starts =
        twoStarts(pathsFor(folders, GetParam().firstRuntime), pathsFor(folders, GetParam().secondRuntime));
    ASSERT_TRUE(starts) << "the child could not run as user " << user;
    EXPECT_EQ(starts->first, GetParam().first);
    EXPECT_EQ(starts->second, GetParam().second);
    EXPECT_EQ(starts->broughtForward, GetParam().second == Start::handedOver);
}

void leaveAlone(const Folders&) {}

void lockFilesOfARunAsRoot(const Folders& folders) {
    closedFile(folders.settings / "instance.lock");
    closedFile(folders.settings / "instance.socket");
    closedFile(folders.runtime / SingleInstance::Paths::of(folders.settings, folders.runtime).runtimeLock.filename());
}

void readOnlySettings(const Folders& folders) {
    readOnly(folders.settings);
}

void noSettingsFolder(const Folders& folders) {
    fs::remove(folders.settings);
}

void noSettingsFolderAndAReadOnlyRuntimeFolder(const Folders& folders) {
    fs::remove(folders.settings);
    readOnly(folders.runtime);
}

// A settings folder whose socket path a socket address cannot hold.
constexpr std::size_t longSettingsName = 100;

constexpr auto session = Runtime::session;
constexpr auto other = Runtime::other;
constexpr auto none = Runtime::none;

// Where nothing can listen (a read-only settings folder and no runtime folder) or the two starts share no folder
// that can hold a socket (a read-only settings folder or one with no room for its socket's path, two runtime
// folders), the second cannot reach the first.
INSTANTIATE_TEST_SUITE_P(
    Settings, SingleInstanceFixture,
    ::testing::Values(
        Setting{"Writable", leaveAlone, session, session, Start::first, Start::handedOver},
        Setting{"WritableAndASecondStartFromAnotherSession", leaveAlone, session, other, Start::first,
                Start::handedOver},
        Setting{"WritableAndASecondStartWithoutARuntimeFolder", leaveAlone, session, none, Start::first,
                Start::handedOver},
        Setting{"WritableAndAFirstStartWithoutARuntimeFolder", leaveAlone, none, session, Start::first,
                Start::handedOver},
        Setting{"LockFilesOfARunAsRoot", lockFilesOfARunAsRoot, session, session, Start::first, Start::handedOver},
        Setting{"ReadOnlySettings", readOnlySettings, session, session, Start::first, Start::handedOver},
        Setting{"ReadOnlySettingsAndASecondStartFromAnotherSession", readOnlySettings, session, other, Start::first,
                Start::noAnswer},
        Setting{"ReadOnlySettingsAndNoRuntimeFolder", readOnlySettings, none, none, Start::first, Start::noAnswer},
        Setting{"NoSettingsFolder", noSettingsFolder, session, session, Start::first, Start::handedOver},
        Setting{"NoSettingsFolderAndAReadOnlyRuntimeFolder", noSettingsFolderAndAReadOnlyRuntimeFolder, session,
                session, Start::noLock, Start::noLock},
        Setting{"LongSettingsPath", leaveAlone, session, session, Start::first, Start::handedOver, longSettingsName},
        Setting{"LongSettingsPathAndASecondStartFromAnotherSession", leaveAlone, session, other, Start::first,
                Start::noAnswer, longSettingsName}),
    [](const auto& row) { return std::string(row.param.name); });

// Without a word, a later start from another runtime folder waited for an answer that could not come.
TEST(SingleInstance, ASettingsSocketPathTooLongForAnAddressIsLoggedOnceByTheFirstStartAndOnceByALaterOne) {
    const testing::TemporaryDirectory base;
    const auto settings = base / std::string(longSettingsName, 's');
    for (const auto& folder : {settings, base / "runtime", base / "other-runtime"}) fs::create_directory(folder);
    const auto socket = (settings / "instance.socket").string();
    ASSERT_GT(socket.size(), 107U);
    testing::CapturedLog log;
    const auto naming = [&] {
        std::vector<std::string> lines;
        for (const auto& line : log.lines()) {
            if (line.text.find(socket) != std::string::npos) lines.push_back(line.text);
        }
        return lines;
    };

    std::unique_ptr<SingleInstance> running;
    EXPECT_EQ(SingleInstance::claim(SingleInstance::Paths::of(settings, base / "runtime"), running, 100ms),
              Start::first);
    const auto ofFirst = naming();
    ASSERT_EQ(ofFirst.size(), 1U);
    EXPECT_NE(ofFirst.front().find("a socket address holds 107"), std::string::npos) << ofFirst.front();

    // Long enough to ask the running helper several times.
    std::unique_ptr<SingleInstance> later;
    EXPECT_EQ(SingleInstance::claim(SingleInstance::Paths::of(settings, base / "other-runtime"), later, 300ms),
              Start::noAnswer);
    const auto withLater = naming();
    ASSERT_EQ(withLater.size(), 2U);
    EXPECT_NE(withLater.back().find("a socket address holds 107"), std::string::npos) << withLater.back();
}

} // namespace
} // namespace orvik::helper
