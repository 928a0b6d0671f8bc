#include "core/AtomicFile.hpp"
#include "core/Date.hpp"
#include "core/XdgPaths.hpp"
#include "core/tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

namespace orvik::helper {
namespace {

using testing::modeOf;

// Sets (or, given null, unsets) an environment variable for the life of the object.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        set(value);
    }
    ~ScopedVariable() { set(old_ ? old_->c_str() : nullptr); }

private:
    void set(const char* value) { value ? ::setenv(name_, value, 1) : ::unsetenv(name_); }
    const char* name_;
    std::optional<std::string> old_;
};

TEST(XdgPaths, UsesAbsoluteVariablesElseTheHomeFolderAndMakesOwnerOnlyFolders) {
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

    testing::TemporaryDirectory folder; // a private folder is made, or made private again, with mode 0700
    auto nested = folder / "a" / "b";
    ASSERT_TRUE(XdgPaths::ensurePrivateDirectory(nested));
    EXPECT_EQ(modeOf(nested), 0700u);
    ::chmod(nested.c_str(), 0755);
    ASSERT_TRUE(XdgPaths::ensurePrivateDirectory(nested));
    EXPECT_EQ(modeOf(nested), 0700u);
    folder.write("file", "x");
    EXPECT_FALSE(XdgPaths::ensurePrivateDirectory(folder / "file"));
}

TEST(ReferenceDate, CountsSecondsFrom2001AndRefusesValuesNoDateCanHold) {
    auto reference = Date(std::chrono::seconds(978'307'200));
    EXPECT_EQ(ReferenceDate::seconds(reference), 0.0);
    EXPECT_EQ(ReferenceDate::date(0.0), reference);
    EXPECT_EQ(ReferenceDate::date(-978'307'200.0), Date{});
    auto withFraction = ReferenceDate::date(736'000'000.25);
    ASSERT_TRUE(withFraction);
    EXPECT_DOUBLE_EQ(ReferenceDate::seconds(*withFraction), 736'000'000.25);
    for (double refused : {std::numeric_limits<double>::infinity(), std::nan(""), 1e300, -1e13, 1e11, -9e9}) {
        EXPECT_FALSE(ReferenceDate::date(refused)) << refused;
    }
}

TEST(AtomicFile, ReplacesWithTheGivenModeAndFailsWithoutItsFolder) {
    testing::TemporaryDirectory folder;
    auto file = folder / "keys";
    auto oldMask = ::umask(0077);
    EXPECT_FALSE(AtomicFile::replace(file, "one", 0640));
    ::umask(oldMask);
    EXPECT_EQ(modeOf(file), 0640u);
    EXPECT_FALSE(AtomicFile::replace(file, "two", 0600));
    auto read = AtomicFile::read(file);
    EXPECT_EQ(read.status, AtomicFile::ReadResult::Status::contents);
    EXPECT_EQ(read.contents, "two");
    EXPECT_EQ(AtomicFile::read(folder / "missing").status, AtomicFile::ReadResult::Status::missing);

    auto failure = AtomicFile::replace(folder / "absent" / "file", "x", 0600);
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("create"), std::string::npos);
}

} // namespace
} // namespace orvik::helper
