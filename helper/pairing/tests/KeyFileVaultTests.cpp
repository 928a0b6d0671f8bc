#include "core/tests/TemporaryDirectory.hpp"
#include "pairing/KeyFileVault.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace orvik::helper {
namespace {

using testing::modeOf;
using testing::TemporaryDirectory;

const auto deviceID = *Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");

TEST(KeyFileVault, KeepsKeysInAnOwnerOnlyFileInAnOwnerOnlyFolderAndAFailedWriteChangesNothing) {
    TemporaryDirectory folder;
    auto file = folder / "data" / "orvik-helper" / "device-keys.json";
    KeyFileVault vault(file);
    EXPECT_EQ(vault.read(deviceID).status, VaultResult::Status::notFound);
    EXPECT_FALSE(std::filesystem::exists(file)) << "nothing is written before a key is";
    ASSERT_EQ(vault.write(deviceID, "ignored", Bytes{1, 2, 3}).status, VaultResult::Status::ok);
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(file.parent_path()), 0700u);
    EXPECT_EQ(nlohmann::json::parse(folder.read("data/orvik-helper/device-keys.json")),
              (nlohmann::json{{deviceID.text(), "AQID"}}));

    KeyFileVault reopened(file);
    EXPECT_EQ(reopened.read(deviceID).key, (Bytes{1, 2, 3}));
    ASSERT_EQ(reopened.remove(deviceID).status, VaultResult::Status::ok);
    EXPECT_EQ(KeyFileVault(file).read(deviceID).status, VaultResult::Status::notFound);

    folder.write("not-a-folder", "x");
    KeyFileVault unwritable(folder / "not-a-folder" / "device-keys.json");
    auto failed = unwritable.write(deviceID, "", Bytes{1});
    EXPECT_EQ(failed.status, VaultResult::Status::failed);
    EXPECT_FALSE(failed.detail.empty());
    EXPECT_EQ(unwritable.read(deviceID).status, VaultResult::Status::notFound) << "a failed write changes nothing";
}

TEST(KeyFileVault, AnUnreadableFileIsMovedAsideAndBadEntriesAreSkipped) {
    TemporaryDirectory folder;
    folder.write("device-keys.json", "{\"E621E1F8");
    EXPECT_TRUE(KeyFileVault(folder / "device-keys.json").entries().empty());
    auto names = folder.files();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(names[0].starts_with("device-keys.json.corrupt-"));

    folder.write("device-keys.json", R"({"E621E1F8-C36C-495A-93FC-0C247A3E6E5F": "AQID", "nope": "AQID",
                                         "0F3C2A41-8B7D-4E22-9A61-5D0B8C7E1F24": "%%"})");
    EXPECT_EQ(KeyFileVault(folder / "device-keys.json").entries(), (std::map<Uuid, Bytes>{{deviceID, Bytes{1, 2, 3}}}));
}

} // namespace
} // namespace orvik::helper
