#include "app/SingleInstance.hpp"

#include "core/tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <optional>

namespace orvik::helper {
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
};

struct Setting {
    const char* name;
    // Spoils the settings and runtime folders (both made for the user).
    void (*spoil)(const Folders&);
    bool hasRuntime;
    Start first;
    Start second;
};

void PrintTo(const Setting& setting, std::ostream* out) {
    *out << setting.name;
}

// Two starts as the user in a child process, the second while the first runs: what each one got; absent when
// the child could not become the user.
std::optional<std::pair<Start, Start>> twoStarts(const SingleInstance::Paths& paths) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() != user && (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0)) {
            ::_exit(255);
        }
        std::unique_ptr<SingleInstance> first;
        std::unique_ptr<SingleInstance> second;
        const auto firstStart = SingleInstance::claim(paths, first, 100ms);
        const auto secondStart = SingleInstance::claim(paths, second, 100ms);
        ::_exit(static_cast<int>(firstStart) * 8 + static_cast<int>(secondStart));
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 255) return {};
    return std::pair{Start(WEXITSTATUS(status) / 8), Start(WEXITSTATUS(status) % 8)};
}

class SingleInstanceFixture : public ::testing::TestWithParam<Setting> {};

TEST_P(SingleInstanceFixture, ASecondStartNeverRunsBesideTheFirstAndOnlyNoLockAtAllStopsTheFirst) {
    const testing::TemporaryDirectory base;
    fs::permissions(base.path(), fs::perms(0755));
    const Folders folders{base / "settings", base / "runtime"};
    for (const auto& folder : {folders.settings, folders.runtime}) {
        fs::create_directory(folder);
        mine(folder);
    }
    GetParam().spoil(folders);
    const SingleInstance::Paths paths{folders.settings,
                                      GetParam().hasRuntime ? folders.runtime / "orvik.lock" : fs::path(),
                                      (GetParam().hasRuntime ? folders.runtime : folders.settings) / "orvik.socket"};

    const auto starts = twoStarts(paths);
    ASSERT_TRUE(starts) << "the child could not run as user " << user;
    EXPECT_EQ(starts->first, GetParam().first);
    EXPECT_EQ(starts->second, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SingleInstanceFixture,
    ::testing::Values(Setting{"Writable", [](const Folders&) {}, true, Start::first, Start::noAnswer},
                      Setting{"LockFilesOfARunAsRoot",
                              [](const Folders& folders) {
                                  closedFile(folders.settings / "instance.lock");
                                  closedFile(folders.runtime / "orvik.lock");
                              },
                              true, Start::first, Start::noAnswer},
                      Setting{"ReadOnlySettings", [](const Folders& folders) { readOnly(folders.settings); }, true,
                              Start::first, Start::noAnswer},
                      Setting{"ReadOnlySettingsAndNoRuntimeFolder",
                              [](const Folders& folders) { readOnly(folders.settings); }, false, Start::first,
                              Start::noAnswer},
                      Setting{"NoSettingsFolder", [](const Folders& folders) { fs::remove(folders.settings); }, true,
                              Start::first, Start::noAnswer},
                      Setting{"NoSettingsFolderAndAReadOnlyRuntimeFolder",
                              [](const Folders& folders) {
                                  fs::remove(folders.settings);
                                  readOnly(folders.runtime);
                              },
                              true, Start::noLock, Start::noLock}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace orvik::helper
