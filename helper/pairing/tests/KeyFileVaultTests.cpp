#include "core/tests/TemporaryDirectory.hpp"
#include "pairing/KeyFileVault.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace orvik::helper {
namespace {

const auto deviceID = *Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");

unsigned modeOf(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 0777;
}

std::string readText(const std::filesystem::path& file) {
    std::ifstream stream(file);
    std::stringstream contents;
    contents << stream.rdbuf();
    return contents.str();
}

TEST(KeyFileVault, KeepsKeysInAnOwnerOnlyFileInAnOwnerOnlyFolder) {
    testing::TemporaryDirectory folder;
    auto file = folder / "data" / "orvik-helper" / "device-keys.json";
    KeyFileVault vault(file);
    EXPECT_EQ(vault.read(deviceID).status, VaultResult::Status::notFound);
    EXPECT_FALSE(std::filesystem::exists(file)) << "nothing is written before a key is";
    ASSERT_EQ(vault.write(deviceID, "ignored", Bytes{1, 2, 3}).status, VaultResult::Status::ok);
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(file.parent_path()), 0700u);
    EXPECT_EQ(nlohmann::json::parse(readText(file)), (nlohmann::json{{deviceID.text(), "AQID"}}));

    KeyFileVault reopened(file);
    EXPECT_EQ(reopened.read(deviceID).key, (Bytes{1, 2, 3}));
    ASSERT_EQ(reopened.remove(deviceID).status, VaultResult::Status::ok);
    EXPECT_EQ(KeyFileVault(file).read(deviceID).status, VaultResult::Status::notFound);
}

TEST(KeyFileVault, AnUnreadableFileIsMovedAsideAndReadsAsEmpty) {
    testing::TemporaryDirectory folder;
    auto file = folder / "device-keys.json";
    std::ofstream(file) << "{\"E621E1F8";
    KeyFileVault vault(file);
    EXPECT_TRUE(vault.entries().empty());
    EXPECT_FALSE(std::filesystem::exists(file));
    int kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        kept += entry.path().filename().string().starts_with("device-keys.json.corrupt-");
    }
    EXPECT_EQ(kept, 1);
}

TEST(KeyFileVault, SkipsEntriesThatAreNotAUuidWithABase64Key) {
    testing::TemporaryDirectory folder;
    auto file = folder / "device-keys.json";
    std::ofstream(file) << R"({"E621E1F8-C36C-495A-93FC-0C247A3E6E5F": "AQID", "nope": "AQID",
                              "0F3C2A41-8B7D-4E22-9A61-5D0B8C7E1F24": "%%"})";
    KeyFileVault vault(file);
    EXPECT_EQ(vault.entries(), (std::map<Uuid, Bytes>{{deviceID, Bytes{1, 2, 3}}}));
}

TEST(KeyFileVault, AFailedWriteChangesNothing) {
    testing::TemporaryDirectory folder;
    std::ofstream(folder / "not-a-folder") << "x";
    KeyFileVault vault(folder / "not-a-folder" / "device-keys.json");
    auto result = vault.write(deviceID, "", Bytes{1});
    EXPECT_EQ(result.status, VaultResult::Status::failed);
    EXPECT_FALSE(result.detail.empty());
    EXPECT_EQ(vault.read(deviceID).status, VaultResult::Status::notFound);
}

} // namespace
} // namespace orvik::helper
