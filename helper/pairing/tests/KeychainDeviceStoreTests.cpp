#include "core/InMemoryUserDefaults.hpp"
#include "core/Log.hpp"
#include "core/tests/TemporaryDirectory.hpp"
#include "pairing/KeychainDeviceStore.hpp"
#include "pairing/tests/FakeKeyVault.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <future>
#include <mutex>

namespace orvik::helper {
namespace {

Date at(int seconds) {
    return Date(std::chrono::seconds(1'700'000'000 + seconds));
}

const PairedDevice anna{*Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"), "Anna", "iPhone15,2", at(10)};
const PairedDevice ben{*Uuid::parse("0F3C2A41-8B7D-4E22-9A61-5D0B8C7E1F24"), "Ben", "iPhone14,5", at(20)};
const Bytes annaKey(32, 0xA1);
const Bytes benKey(32, 0xB2);

class CapturedLog {
public:
    CapturedLog() {
        Log::setSink([this](Log::Level level, std::string_view category, std::string_view message) {
            std::lock_guard lock(mutex_);
            lines_.push_back({level, std::string(category) + ": " + std::string(message)});
        });
    }
    ~CapturedLog() { Log::setSink({}); }
    std::vector<std::pair<Log::Level, std::string>> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<Log::Level, std::string>> lines_;
};

class KeychainDeviceStoreTest : public ::testing::Test {
protected:
    testing::TemporaryDirectory folder;
    std::shared_ptr<InMemoryUserDefaults> defaults = std::make_shared<InMemoryUserDefaults>();
    std::shared_ptr<testing::FakeKeyVault> keyring = std::make_shared<testing::FakeKeyVault>();
    std::filesystem::path keyFilePath = folder / "data" / "device-keys.json";
    CapturedLog log;

    std::shared_ptr<KeyFileVault> keyFile() { return std::make_shared<KeyFileVault>(keyFilePath); }
    std::unique_ptr<KeychainDeviceStore> makeStore() {
        return std::make_unique<KeychainDeviceStore>(defaults, keyring, keyFile());
    }
    static VaultResult unreachable() { return VaultResult::unreachable("no Secret Service on the bus"); }
    static VaultResult locked() { return VaultResult::failed("the keyring holding the key is locked"); }
};

TEST_F(KeychainDeviceStoreTest, KeepsTheListAsJsonDataInTheOrderOfTheLatestAddition) {
    auto store = makeStore();
    store->add(anna, annaKey);
    store->add(ben, benKey);
    auto renamed = anna;
    renamed.name = "Anna 2";
    store->add(renamed, annaKey);
    EXPECT_EQ(store->devices(), (std::vector<PairedDevice>{ben, renamed}));
    EXPECT_EQ(PairedDevice::decodeList(*defaults->data("pairedDevices")), store->devices());
    EXPECT_EQ(keyring->items().at(anna.id).label, "Orvik Helper: Anna 2");
    EXPECT_EQ(keyring->items().at(anna.id).key, annaKey);
}

TEST_F(KeychainDeviceStoreTest, AnUnreadableListReadsAsEmptyAndTheNextAddReplacesIt) {
    defaults->setData("pairedDevices", Bytes{'[', '{', '}', ']'});
    auto store = makeStore();
    EXPECT_TRUE(store->devices().empty());
    store->add(ben, benKey);
    EXPECT_EQ(store->devices(), std::vector<PairedDevice>{ben});
}

TEST_F(KeychainDeviceStoreTest, RemoveRewritesTheListAndUpdateOfAnUnknownDeviceWritesNothing) {
    auto store = makeStore();
    store->remove(anna.id);
    EXPECT_EQ(defaults->data("pairedDevices"), (Bytes{'[', ']'}));
    auto changes = defaults->changeCount();
    store->updateLastSeen(anna.id, at(5));
    EXPECT_EQ(defaults->changeCount(), changes);
}

TEST_F(KeychainDeviceStoreTest, AMissingKeyIsReadOnceUntilTheDeviceIsRemoved) {
    auto store = makeStore();
    EXPECT_EQ(store->key(anna.id), std::nullopt);
    EXPECT_EQ(store->key(anna.id), std::nullopt);
    EXPECT_EQ(keyring->reads(), 1);
    store->remove(anna.id);
    keyring->put(anna.id, annaKey);
    EXPECT_EQ(store->key(anna.id), annaKey);
    EXPECT_EQ(store->key(anna.id), annaKey);
    EXPECT_EQ(keyring->reads(), 2);
}

TEST_F(KeychainDeviceStoreTest, AnAddedKeyIsAnsweredFromTheCacheEvenAfterAMissWasCached) {
    auto store = makeStore();
    EXPECT_EQ(store->key(anna.id), std::nullopt);
    store->add(anna, annaKey);
    EXPECT_EQ(store->key(anna.id), annaKey);
    EXPECT_EQ(keyring->reads(), 1);
}

TEST_F(KeychainDeviceStoreTest, SessionKeysSkipAListedDeviceWithoutKey) {
    auto store = makeStore();
    store->add(anna, annaKey);
    store->add(ben, benKey);
    // The same list over a keyring that lost Anna's item.
    auto otherKeyring = std::make_shared<testing::FakeKeyVault>();
    otherKeyring->put(ben.id, benKey);
    KeychainDeviceStore reopened(defaults, otherKeyring, keyFile());
    auto keys = reopened.sessionKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].identity, ben.id.text());
}

TEST_F(KeychainDeviceStoreTest, AFailedAddThrowsAndLeavesListAndCacheAsTheyWere) {
    auto store = makeStore();
    store->add(ben, benKey);
    EXPECT_EQ(store->key(anna.id), std::nullopt);
    keyring->failWith(locked());
    EXPECT_THROW(store->add(anna, annaKey), KeychainDeviceStore::StoreError);
    EXPECT_EQ(store->devices(), std::vector<PairedDevice>{ben});
    EXPECT_EQ(store->key(anna.id), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(keyFilePath)) << "a locked keyring is no reason to use the key file";
}

// Mend: a read error is not remembered as "no key", or a keyring still locked at start would lock every
// phone out until the next restart.
TEST_F(KeychainDeviceStoreTest, AReadErrorIsLoggedAndAskedAgainNextTime) {
    auto store = makeStore();
    store->add(anna, annaKey);
    KeychainDeviceStore restarted(defaults, keyring, keyFile());
    keyring->failWith(locked());
    EXPECT_EQ(restarted.lookupKey(anna.id), KeyLookup::unavailable());
    EXPECT_EQ(restarted.key(anna.id), std::nullopt);
    keyring->failWith(std::nullopt);
    EXPECT_EQ(restarted.key(anna.id), annaKey);
    EXPECT_EQ(keyring->reads(), 3);
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].first, Log::Level::error);
    EXPECT_EQ(lines[0].second, "DeviceStore: Keychain read failed: the keyring holding the key is locked");
}

// Mend: a lookup that read the keyring before an add must not replace the key the add cached meanwhile.
TEST_F(KeychainDeviceStoreTest, ALookupRacingAnAddLeavesTheAddedKeyInTheCache) {
    auto store = makeStore();
    std::promise<void> readStarted;
    std::promise<void> addDone;
    auto addDoneFuture = addDone.get_future().share();
    keyring->beforeReadReturns([&readStarted, addDoneFuture] {
        readStarted.set_value();
        addDoneFuture.wait();
    });
    auto lookup = std::async(std::launch::async, [&store] { return store->key(anna.id); });
    readStarted.get_future().wait();
    keyring->beforeReadReturns({});
    store->add(anna, annaKey);
    addDone.set_value();
    EXPECT_EQ(lookup.get(), annaKey) << "the racing lookup answers with what add cached";
    EXPECT_EQ(store->key(anna.id), annaKey);
    EXPECT_EQ(keyring->reads(), 1);
}

TEST_F(KeychainDeviceStoreTest, WithoutASecretServiceKeysGoToAnOwnerOnlyKeyFileLoggedOnce) {
    keyring->failWith(unreachable());
    auto store = makeStore();
    store->add(anna, annaKey);
    store->add(ben, benKey);
    EXPECT_EQ(KeyFileVault(keyFilePath).entries(), (std::map<Uuid, Bytes>{{anna.id, annaKey}, {ben.id, benKey}}));
    struct stat info {};
    ASSERT_EQ(::stat(keyFilePath.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(keyFilePath.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    KeychainDeviceStore restarted(defaults, keyring, keyFile());
    EXPECT_EQ(restarted.key(anna.id), annaKey);
    EXPECT_EQ(restarted.devices().size(), 2u);
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u) << "once per store";
    EXPECT_EQ(lines[0].second, "DeviceStore: Secret Service unreachable, device keys fall back to the key file: "
                               "no Secret Service on the bus");
}

TEST_F(KeychainDeviceStoreTest, WhileUnreachableAListedDeviceIsUnavailableAndAnUnknownOneNotFound) {
    auto store = makeStore();
    store->add(anna, annaKey);
    keyring->failWith(unreachable());
    KeychainDeviceStore restarted(defaults, keyring, keyFile());
    EXPECT_EQ(restarted.lookupKey(anna.id), KeyLookup::unavailable());
    EXPECT_EQ(restarted.lookupKey(ben.id), KeyLookup::notFound());
    keyring->failWith(std::nullopt);
    EXPECT_EQ(restarted.key(anna.id), annaKey) << "unavailable was not cached";
    EXPECT_EQ(restarted.key(ben.id), std::nullopt);
}

TEST_F(KeychainDeviceStoreTest, KeysInTheFileMoveToTheKeyringWhenItIsReachableAtStart) {
    keyring->failWith(unreachable());
    makeStore()->add(anna, annaKey);
    keyring->failWith(std::nullopt);
    auto store = makeStore();
    EXPECT_TRUE(KeyFileVault(keyFilePath).entries().empty());
    ASSERT_EQ(keyring->items().count(anna.id), 1u);
    EXPECT_EQ(keyring->items().at(anna.id).key, annaKey);
    EXPECT_EQ(keyring->items().at(anna.id).label, "Orvik Helper: Anna");
    EXPECT_EQ(store->key(anna.id), annaKey);
    EXPECT_EQ(log.lines().back().second, "DeviceStore: Moved device keys from the key file to the keychain: 1");
}

TEST_F(KeychainDeviceStoreTest, KeysInTheFileMoveAfterTheNextKeyringWrite) {
    keyring->failWith(unreachable());
    auto store = makeStore();
    store->add(anna, annaKey);
    EXPECT_EQ(store->key(anna.id), annaKey);
    keyring->failWith(std::nullopt);
    store->add(ben, benKey);
    EXPECT_TRUE(KeyFileVault(keyFilePath).entries().empty());
    EXPECT_EQ(keyring->items().size(), 2u);
    KeychainDeviceStore restarted(defaults, keyring, keyFile());
    EXPECT_EQ(restarted.key(anna.id), annaKey);
    EXPECT_EQ(restarted.key(ben.id), benKey);
}

TEST_F(KeychainDeviceStoreTest, RemovingDeletesTheKeyFromBothVaults) {
    keyring->failWith(unreachable());
    auto store = makeStore();
    store->add(anna, annaKey);
    keyring->failWith(std::nullopt);
    keyring->put(anna.id, annaKey);
    store->remove(anna.id);
    EXPECT_TRUE(KeyFileVault(keyFilePath).entries().empty());
    EXPECT_TRUE(keyring->items().empty());
    EXPECT_EQ(store->key(anna.id), std::nullopt);
}

} // namespace
} // namespace orvik::helper
