#include "core/FileUserDefaults.hpp"
#include "core/InMemoryUserDefaults.hpp"
#include "core/Log.hpp"
#include "core/tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace orvik::helper {
namespace {

using testing::TemporaryDirectory;

std::string readText(const std::filesystem::path& file) {
    std::ifstream stream(file);
    std::stringstream contents;
    contents << stream.rdbuf();
    return contents.str();
}

void writeText(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file) << text;
}

std::vector<std::string> filesIn(const std::filesystem::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class CapturedLog {
public:
    CapturedLog() {
        Log::setSink([this](Log::Level, std::string_view category, std::string_view message) {
            lines.push_back(std::string(category) + ": " + std::string(message));
        });
    }
    ~CapturedLog() { Log::setSink({}); }
    std::vector<std::string> lines;
};

TEST(FileUserDefaults, KeepsEachTypeAcrossInstances) {
    TemporaryDirectory folder;
    auto file = folder / "defaults.json";
    {
        FileUserDefaults defaults(file);
        defaults.setBoolean("flag", true);
        defaults.setInteger("port", -51234);
        defaults.setText("id", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
        defaults.setData("blob", Bytes{0, 1, 2, 0xFF});
    }
    FileUserDefaults reopened(file);
    EXPECT_EQ(reopened.boolean("flag"), true);
    EXPECT_EQ(reopened.integer("port"), -51234);
    EXPECT_EQ(reopened.text("id"), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(reopened.data("blob"), (Bytes{0, 1, 2, 0xFF}));
}

TEST(FileUserDefaults, AValueReadUnderAnotherTypeIsAbsent) {
    TemporaryDirectory folder;
    FileUserDefaults defaults(folder / "defaults.json");
    defaults.setText("helperPreferences", "{}");
    defaults.setBoolean("flag", true);
    EXPECT_FALSE(defaults.data("helperPreferences"));
    EXPECT_FALSE(defaults.integer("flag"));
    FileUserDefaults reopened(folder / "defaults.json");
    EXPECT_FALSE(reopened.data("helperPreferences"));
    EXPECT_EQ(reopened.text("helperPreferences"), "{}");
}

TEST(FileUserDefaults, WritesTheDocumentedFormatWithOwnerOnlyMode) {
    TemporaryDirectory folder;
    auto file = folder / "defaults.json";
    FileUserDefaults defaults(file);
    defaults.setData("d", Bytes{'h', 'i'});
    defaults.setInteger("n", 7);
    auto document = nlohmann::json::parse(readText(file));
    EXPECT_EQ(document["d"], (nlohmann::json{{"type", "data"}, {"value", "aGk="}}));
    EXPECT_EQ(document["n"], (nlohmann::json{{"type", "integer"}, {"value", 7}}));
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(FileUserDefaults, WritingAnEqualValueWritesNothing) {
    TemporaryDirectory folder;
    auto file = folder / "defaults.json";
    FileUserDefaults defaults(file);
    defaults.setBoolean("postEventGrantedBefore", true);
    ASSERT_TRUE(std::filesystem::exists(file));
    std::filesystem::remove(file);
    defaults.setBoolean("postEventGrantedBefore", true);
    defaults.remove("never-set");
    EXPECT_FALSE(std::filesystem::exists(file));
    defaults.setBoolean("postEventGrantedBefore", false);
    EXPECT_TRUE(std::filesystem::exists(file));
}

TEST(FileUserDefaults, RemoveDeletesTheKeyOnDisk) {
    TemporaryDirectory folder;
    auto file = folder / "defaults.json";
    FileUserDefaults defaults(file);
    defaults.setText("a", "1");
    defaults.setText("b", "2");
    defaults.remove("a");
    FileUserDefaults reopened(file);
    EXPECT_FALSE(reopened.value("a"));
    EXPECT_EQ(reopened.text("b"), "2");
}

TEST(FileUserDefaults, ACorruptFileIsMovedAsideLoggedAndReadAsEmpty) {
    TemporaryDirectory folder;
    auto file = folder / "defaults.json";
    writeText(file, "{\"helperID\": {\"type\": \"text\", \"value\": \"abc\"");
    CapturedLog log;
    FileUserDefaults defaults(file);
    EXPECT_FALSE(defaults.value("helperID"));
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_NE(log.lines[0].find("moved aside"), std::string::npos);
    auto names = filesIn(folder.path());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(names[0].starts_with("defaults.json.corrupt-"));
    EXPECT_EQ(readText(folder.path() / names[0]), "{\"helperID\": {\"type\": \"text\", \"value\": \"abc\"");

    defaults.setText("helperID", "new");
    EXPECT_EQ(filesIn(folder.path()).size(), 2u);
}

TEST(FileUserDefaults, ASecondCorruptFileDoesNotReplaceTheFirstCopy) {
    TemporaryDirectory folder;
    auto file = folder / "defaults.json";
    writeText(file, "[1]");
    FileUserDefaults first(file);
    writeText(file, "[2]");
    FileUserDefaults second(file);
    auto names = filesIn(folder.path());
    ASSERT_EQ(names.size(), 2u);
    std::vector<std::string> contents{readText(folder.path() / names[0]), readText(folder.path() / names[1])};
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"[1]", "[2]"}));
}

TEST(FileUserDefaults, UnreadableEntriesAreSkippedAfterACopyIsKept) {
    TemporaryDirectory folder;
    auto file = folder / "defaults.json";
    std::string original = R"({"good": {"type": "bool", "value": true},
        "wrongType": {"type": "bool", "value": 1},
        "badData": {"type": "data", "value": "not base64!"},
        "unknown": {"type": "float", "value": 1.5},
        "bare": 5})";
    writeText(file, original);
    CapturedLog log;
    FileUserDefaults defaults(file);
    EXPECT_EQ(defaults.boolean("good"), true);
    EXPECT_FALSE(defaults.value("wrongType"));
    EXPECT_FALSE(defaults.value("badData"));
    EXPECT_FALSE(defaults.value("unknown"));
    EXPECT_FALSE(defaults.value("bare"));
    EXPECT_EQ(log.lines.size(), 4u);
    EXPECT_EQ(readText(folder / "defaults.json.unreadable"), original);
}

TEST(FileUserDefaults, LeftoversOfAnInterruptedWriteAreRemoved) {
    TemporaryDirectory folder;
    auto file = folder / "defaults.json";
    writeText(file, R"({"a": {"type": "text", "value": "kept"}})");
    writeText(folder / "defaults.json.tmp-123-0", "{\"half");
    writeText(folder / "other.json.tmp-1-1", "not ours");
    FileUserDefaults defaults(file);
    EXPECT_EQ(defaults.text("a"), "kept");
    EXPECT_EQ(filesIn(folder.path()), (std::vector<std::string>{"defaults.json", "other.json.tmp-1-1"}));
}

TEST(FileUserDefaults, AFailedWriteLeavesTheOldFileAndIsLogged) {
    TemporaryDirectory folder;
    auto file = folder / "defaults.json";
    FileUserDefaults defaults(file);
    defaults.setText("a", "old");
    // A file-size limit makes the next, larger write fail halfway, even for root.
    constexpr rlim_t sizeLimit = 200;
    rlimit original{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &original), 0);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = original;
    limited.rlim_cur = sizeLimit;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    CapturedLog log;
    defaults.setText("a", std::string(4 * sizeLimit, 'n'));
    ::setrlimit(RLIMIT_FSIZE, &original);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(defaults.text("a"), std::string(4 * sizeLimit, 'n'));
    EXPECT_EQ(FileUserDefaults(file).text("a"), "old");
    EXPECT_EQ(filesIn(folder.path()), (std::vector<std::string>{"defaults.json"}));
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_NE(log.lines[0].find("Saving the defaults failed"), std::string::npos);
}

TEST(FileUserDefaults, WritersOnSeveralThreadsLeaveTheLastStateOnDisk) {
    TemporaryDirectory folder;
    auto file = folder / "defaults.json";
    FileUserDefaults defaults(file);
    constexpr int threads = 4;
    constexpr int writesPerThread = 25;
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([&defaults, t] {
            for (int i = 1; i <= writesPerThread; ++i) defaults.setInteger("key" + std::to_string(t), i);
        });
    }
    for (auto& writer : writers) writer.join();
    FileUserDefaults reopened(file);
    for (int t = 0; t < threads; ++t) EXPECT_EQ(reopened.integer("key" + std::to_string(t)), writesPerThread);
}

TEST(InMemoryUserDefaults, CountsOnlyRealChanges) {
    InMemoryUserDefaults defaults;
    defaults.setText("a", "x");
    defaults.setText("a", "x");
    defaults.remove("missing");
    EXPECT_EQ(defaults.changeCount(), 1u);
    defaults.setData("a", Bytes{'x'});
    EXPECT_EQ(defaults.changeCount(), 2u);
    EXPECT_FALSE(defaults.text("a"));
    defaults.remove("a");
    EXPECT_EQ(defaults.changeCount(), 3u);
    EXPECT_FALSE(defaults.value("a"));
}

} // namespace
} // namespace orvik::helper
