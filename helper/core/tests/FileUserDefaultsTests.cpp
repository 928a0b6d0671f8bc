#include "core/FileUserDefaults.hpp"
#include "core/InMemoryUserDefaults.hpp"
#include "core/tests/CapturedLog.hpp"
#include "core/tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <thread>

namespace orvik::helper {
namespace {

using testing::CapturedLog;
using testing::TemporaryDirectory;
using Names = std::vector<std::string>;

TEST(FileUserDefaults, KeepsEachTypeInTheDocumentedFormatInAnOwnerOnlyFile) {
    TemporaryDirectory folder;
    auto file = folder / "defaults.json";
    FileUserDefaults defaults(file);
    defaults.setBoolean("flag", true);
    defaults.setInteger("port", -51234);
    defaults.setText("id", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    defaults.setData("blob", Bytes{0, 1, 2, 0xFF});
    EXPECT_FALSE(defaults.data("id")) << "a value read under another type is absent";

    FileUserDefaults reopened(file);
    EXPECT_EQ(reopened.boolean("flag"), true);
    EXPECT_EQ(reopened.integer("port"), -51234);
    EXPECT_EQ(reopened.text("id"), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(reopened.data("blob"), (Bytes{0, 1, 2, 0xFF}));
    EXPECT_FALSE(reopened.data("id"));
    EXPECT_FALSE(reopened.integer("flag"));
    auto document = nlohmann::json::parse(folder.read("defaults.json"));
    EXPECT_EQ(document["blob"], (nlohmann::json{{"type", "data"}, {"value", "AAEC/w=="}}));
    EXPECT_EQ(document["port"], (nlohmann::json{{"type", "integer"}, {"value", -51234}}));
    EXPECT_EQ(testing::modeOf(file), 0600u);
}

TEST(FileUserDefaults, RemoveDeletesTheKeyOnDiskAndWritingAnEqualValueWritesNothing) {
    TemporaryDirectory folder;
    auto file = folder / "defaults.json";
    FileUserDefaults defaults(file);
    defaults.setText("a", "1");
    defaults.setText("b", "2");
    defaults.remove("a");
    EXPECT_FALSE(FileUserDefaults(file).value("a"));
    EXPECT_EQ(FileUserDefaults(file).text("b"), "2");

    std::filesystem::remove(file);
    defaults.setText("b", "2");
    defaults.remove("never-set");
    EXPECT_FALSE(std::filesystem::exists(file));
    defaults.setText("b", "3");
    EXPECT_TRUE(std::filesystem::exists(file));
}

TEST(FileUserDefaults, ACorruptFileIsMovedAsideWithoutReplacingAnEarlierCopyAndReadsAsEmpty) {
    TemporaryDirectory folder;
    auto file = folder / "defaults.json";
    CapturedLog log;
    folder.write("defaults.json", R"({"helperID": {"type": "text", "value": "abc")");
    FileUserDefaults first(file);
    EXPECT_FALSE(first.value("helperID"));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].text.find("moved aside"), std::string::npos);
    auto names = folder.files();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(names[0].starts_with("defaults.json.corrupt-"));
    EXPECT_EQ(folder.read(names[0]), R"({"helperID": {"type": "text", "value": "abc")");

    folder.write("defaults.json", "[2]");
    FileUserDefaults second(file);
    second.setText("helperID", "new");
    names = folder.files();
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], "defaults.json");
    Names copies{folder.read(names[1]), folder.read(names[2])};
    std::sort(copies.begin(), copies.end());
    EXPECT_EQ(copies, (Names{"[2]", R"({"helperID": {"type": "text", "value": "abc")"}));
}

TEST(FileUserDefaults, UnreadableEntriesAreSkippedAfterACopyIsKept) {
    TemporaryDirectory folder;
    std::string original = R"({"good": {"type": "bool", "value": true},
        "wrongType": {"type": "bool", "value": 1},
        "badData": {"type": "data", "value": "not base64!"},
        "unknown": {"type": "float", "value": 1.5},
        "beyondTheRange": {"type": "integer", "value": 18446744073709551615},
        "bare": 5})";
    folder.write("defaults.json", original);
    CapturedLog log;
    FileUserDefaults defaults(folder / "defaults.json");
    EXPECT_EQ(defaults.boolean("good"), true);
    for (const char* skipped : {"wrongType", "badData", "unknown", "beyondTheRange", "bare"}) {
        EXPECT_FALSE(defaults.value(skipped)) << skipped;
    }
    EXPECT_EQ(log.lines().size(), 5u);
    EXPECT_EQ(folder.read("defaults.json.unreadable"), original);
}

// Mend: a defaults file the helper could not read was replaced within seconds by a new one, with a new helper ID
// and no devices. A symbolic link to itself and a folder in the file's place fail to read for root too; without
// root, a file without read permission is tried as well.
TEST(FileUserDefaults, AFileThatCannotBeReadIsNeverWrittenOverAndChangesStayInMemory) {
    TemporaryDirectory folder;
    auto loop = folder / "loop.json";
    std::filesystem::create_symlink("loop.json", loop);
    auto folderInPlace = folder / "folder.json";
    std::filesystem::create_directory(folderInPlace);
    std::vector<std::filesystem::path> unreadable{loop, folderInPlace};
    auto locked = folder / "locked.json";
    folder.write("locked.json", R"({"a": {"type": "text", "value": "kept"}})");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    if (::geteuid() != 0) unreadable.push_back(locked);

    for (const auto& file : unreadable) {
        CapturedLog log;
        FileUserDefaults defaults(file);
        EXPECT_TRUE(defaults.keepsChangesInMemory()) << file;
        defaults.setText("helperID", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
        defaults.setText("helperID", "0F3C2A41-8B7D-4E22-9A61-5D0B8C7E1F24");
        EXPECT_EQ(defaults.text("helperID"), "0F3C2A41-8B7D-4E22-9A61-5D0B8C7E1F24");
        EXPECT_EQ(defaults.setDurably("pairedDevices", Bytes{'[', ']'}),
                  "the defaults file could not be read, so nothing is written to it until the next start");
        EXPECT_FALSE(defaults.value("pairedDevices")) << "a change that must be saved is not made in memory only";
        ASSERT_EQ(log.lines().size(), 1u) << file;
        EXPECT_EQ(log.lines()[0].level, Log::Level::error);
        EXPECT_EQ(log.lines()[0].text.rfind("Defaults: Reading the defaults file failed (", 0), 0u);
        EXPECT_NE(log.lines()[0].text.find("it is left untouched and settings are kept in memory only until the "
                                           "next start: " +
                                           file.string()),
                  std::string::npos)
            << log.lines()[0].text;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(loop));
    EXPECT_TRUE(std::filesystem::is_directory(folderInPlace));
    EXPECT_TRUE(std::filesystem::is_empty(folderInPlace));
    std::filesystem::permissions(locked, std::filesystem::perms::owner_read);
    EXPECT_EQ(folder.read("locked.json"), R"({"a": {"type": "text", "value": "kept"}})");
    EXPECT_EQ(folder.files(), (Names{"folder.json", "locked.json", "loop.json"}));
}

TEST(FileUserDefaults, LeftoversOfAnInterruptedWriteAreRemoved) {
    TemporaryDirectory folder;
    folder.write("defaults.json", R"({"a": {"type": "text", "value": "kept"}})");
    folder.write("defaults.json.tmp-123-0", "{\"half");
    folder.write("other.json.tmp-1-1", "not ours");
    EXPECT_EQ(FileUserDefaults(folder / "defaults.json").text("a"), "kept");
    EXPECT_EQ(folder.files(), (Names{"defaults.json", "other.json.tmp-1-1"}));
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
    UserDefaults::Changes changes;
    changes.emplace_back("b", std::string(4 * sizeLimit, 'd'));
    changes.emplace_back("a", std::nullopt);
    auto durable = defaults.changeDurably(std::move(changes));
    ::setrlimit(RLIMIT_FSIZE, &original);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(defaults.text("a"), std::string(4 * sizeLimit, 'n'));
    EXPECT_TRUE(durable);
    EXPECT_FALSE(defaults.value("b")) << "a durable write that failed is taken back, all of it";
    EXPECT_EQ(FileUserDefaults(file).text("a"), "old");
    EXPECT_EQ(folder.files(), (Names{"defaults.json"}));
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_NE(log.lines()[0].text.find("Saving the defaults failed"), std::string::npos);

    EXPECT_EQ(defaults.setDurably("b", std::string("d")), std::nullopt);
    EXPECT_EQ(FileUserDefaults(file).text("a"), std::string(4 * sizeLimit, 'n')) << "what was kept in memory too";
    EXPECT_EQ(FileUserDefaults(file).text("b"), "d");
}

TEST(FileUserDefaults, WritersOnSeveralThreadsLeaveTheLastStateOnDisk) {
    TemporaryDirectory folder;
    auto file = folder / "defaults.json";
    FileUserDefaults defaults(file);
    constexpr int threads = 4;
    constexpr int writesPerThread = 25;
    std::vector<std::thread> writers;
    writers.reserve(threads);
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
