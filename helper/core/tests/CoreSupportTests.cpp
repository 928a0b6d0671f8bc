#include "core/AtomicFile.hpp"
#include "core/Date.hpp"
#include "core/XdgPaths.hpp"
#include "core/tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <optional>

namespace orvik::helper {
namespace {

class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedVariable() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(XdgPaths, UsesAbsoluteVariablesElseTheHomeFolder) {
    ScopedVariable home("HOME", "/home/someone");
    {
        ScopedVariable config("XDG_CONFIG_HOME", "/custom/config");
        ScopedVariable data("XDG_DATA_HOME", "/custom/data");
        EXPECT_EQ(XdgPaths::configDirectory(), "/custom/config/orvik-helper");
        EXPECT_EQ(XdgPaths::dataDirectory(), "/custom/data/orvik-helper");
    }
    for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/path"}) {
        ScopedVariable config("XDG_CONFIG_HOME", ignored);
        ScopedVariable data("XDG_DATA_HOME", ignored);
        EXPECT_EQ(XdgPaths::configDirectory(), "/home/someone/.config/orvik-helper");
        EXPECT_EQ(XdgPaths::dataDirectory(), "/home/someone/.local/share/orvik-helper");
    }
}

TEST(XdgPaths, APrivateDirectoryIsCreatedWithOwnerOnlyMode) {
    testing::TemporaryDirectory folder;
    auto nested = folder / "a" / "b";
    ASSERT_TRUE(XdgPaths::ensurePrivateDirectory(nested));
    struct stat info {};
    ASSERT_EQ(::stat(nested.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ::chmod(nested.c_str(), 0755);
    ASSERT_TRUE(XdgPaths::ensurePrivateDirectory(nested));
    ASSERT_EQ(::stat(nested.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    std::ofstream(folder / "file") << "x";
    EXPECT_FALSE(XdgPaths::ensurePrivateDirectory(folder / "file"));
}

TEST(ReferenceDate, CountsSecondsFrom2001) {
    auto reference = Date(std::chrono::seconds(978'307'200));
    EXPECT_EQ(ReferenceDate::seconds(reference), 0.0);
    EXPECT_EQ(ReferenceDate::date(0.0), reference);
    EXPECT_EQ(ReferenceDate::date(-978'307'200.0), Date{});
    auto withFraction = ReferenceDate::date(736'000'000.25);
    ASSERT_TRUE(withFraction);
    EXPECT_DOUBLE_EQ(ReferenceDate::seconds(*withFraction), 736'000'000.25);
}

TEST(ReferenceDate, RefusesValuesNoDateCanHold) {
    EXPECT_FALSE(ReferenceDate::date(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(ReferenceDate::date(std::nan("")));
    EXPECT_FALSE(ReferenceDate::date(1e300));
    EXPECT_FALSE(ReferenceDate::date(-1e13));
}

TEST(AtomicFile, ReplacesWithTheGivenModeAndReadsBack) {
    testing::TemporaryDirectory folder;
    auto file = folder / "keys";
    auto oldMask = ::umask(0077);
    EXPECT_FALSE(AtomicFile::replace(file, "one", 0640));
    ::umask(oldMask);
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_FALSE(AtomicFile::replace(file, "two", 0600));
    auto read = AtomicFile::read(file);
    EXPECT_EQ(read.status, AtomicFile::ReadResult::Status::contents);
    EXPECT_EQ(read.contents, "two");
    EXPECT_EQ(AtomicFile::read(folder / "missing").status, AtomicFile::ReadResult::Status::missing);
}

TEST(AtomicFile, FailsWithoutItsFolderAndLeavesNothing) {
    testing::TemporaryDirectory folder;
    auto failure = AtomicFile::replace(folder / "absent" / "file", "x", 0600);
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("create"), std::string::npos);
}

} // namespace
} // namespace orvik::helper
