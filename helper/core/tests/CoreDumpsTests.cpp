#include "core/CoreDumps.hpp"
#include "core/tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace orvik::helper {
namespace {

// What the kernel does with a crashing process's core: a pattern naming a plain file in its working folder is
// the setting under which a test can look for the file.
bool coresGoToTheWorkingFolder() {
    std::ifstream patternFile("/proc/sys/kernel/core_pattern");
    std::ifstream suidFile("/proc/sys/fs/suid_dumpable");
    std::string pattern;
    int suidDumpable = -1;
    std::getline(patternFile, pattern);
    suidFile >> suidDumpable;
    return !pattern.empty() && pattern.front() != '|' && pattern.find('/') == std::string::npos && suidDumpable == 0;
}

// Forks a child that, in `folder`, optionally disables core dumps, allows cores of any size and aborts. Returns
// whether the kernel reports a core dumped.
bool childAbortionDumpsCore(const std::filesystem::path& folder, bool disable) {
    pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(folder.c_str()) != 0) ::_exit(2);
        if (disable && (!CoreDumps::disable() || !CoreDumps::areDisabled())) ::_exit(3);
        // A small limit keeps the control child's core small; the kernel still reports that it dumped.
        rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_CORE, &limit);
        std::abort();
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    return WIFSIGNALED(status) && WCOREDUMP(status);
}

TEST(CoreDumps, OnlyTheProcessThatAsksIsMarkedNotDumpable) {
    EXPECT_FALSE(CoreDumps::areDisabled());
    pid_t child = ::fork();
    if (child == 0) ::_exit(CoreDumps::disable() && CoreDumps::areDisabled() ? 0 : 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(CoreDumps::areDisabled());
}

TEST(CoreDumps, AProcessThatDisabledThemLeavesNoCoreWhenItCrashes) {
    if (!coresGoToTheWorkingFolder()) GTEST_SKIP() << "cores do not go to the working folder on this machine";
    testing::TemporaryDirectory folder;
    if (!childAbortionDumpsCore(folder.path(), false)) GTEST_SKIP() << "this machine writes no core even by default";
    std::filesystem::remove_all(folder.path());
    std::filesystem::create_directory(folder.path());
    EXPECT_FALSE(childAbortionDumpsCore(folder.path(), true));
    EXPECT_TRUE(folder.files().empty());
}

} // namespace
} // namespace orvik::helper
