// How the keychain store comes by its keys: nothing waits for the keyring at start, every key comes in one query
// in the background, a device left without a key is named, and an unreadable key file is never written over.
#include "pairing/tests/KeychainStoreFixture.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>

namespace orvik::helper {
namespace {

using namespace testing;
using namespace std::chrono_literals;

// A keyring whose reading of every key waits until released, as a slow one with many items does.
class SlowKeyring final : public DeviceKeyVault {
public:
    explicit SlowKeyring(std::shared_ptr<FakeKeyVault> inner) : inner_(std::move(inner)) {}

    VaultResult read(const Uuid& deviceID) override { return inner_->read(deviceID); }
    VaultResult write(const Uuid& deviceID, const std::string& label, ByteView key) override {
        return inner_->write(deviceID, label, key);
    }
    VaultResult remove(const Uuid& deviceID) override { return inner_->remove(deviceID); }
    VaultContents readAll() override {
        std::unique_lock lock(mutex_);
        released_.wait(lock, [this] { return isReleased_; });
        return inner_->readAll();
    }

    void release() {
        std::lock_guard lock(mutex_);
        isReleased_ = true;
        released_.notify_all();
    }

private:
    std::shared_ptr<FakeKeyVault> inner_;
    std::mutex mutex_;
    std::condition_variable released_;
    bool isReleased_ = false;
};

// Releases the keyring when it goes, so that a failed expectation never leaves the store's thread waiting.
struct ReleaseOnExit {
    std::shared_ptr<SlowKeyring> keyring;
    ~ReleaseOnExit() { keyring->release(); }
};

std::vector<PairedDevice> manyDevices(std::size_t count) {
    std::vector<PairedDevice> devices;
    for (std::size_t index = 0; index < count; ++index) {
        devices.push_back({Uuid::random(), "Phone " + std::to_string(index), "iPhone15,2", pairedAt(1)});
    }
    return devices;
}

// Mend: with many devices every start looked up each key on its own before the listener could start, and moved the
// key file's keys before the event loop.
TEST_F(KeychainDeviceStoreFixture, AtStartNothingWaitsForTheKeyringWhichIsReadOnceInTheBackground) {
    constexpr std::size_t deviceCount = 1000;
    auto devices = manyDevices(deviceCount);
    for (const auto& device : devices) keyring->put(device.id, annaKey);
    keyring->failWith(unreachable());
    {
        auto fileOnly = makeStore();
        fileOnly->add(anna, annaKey);
    }
    keyring->failWith(std::nullopt);
    defaults->setData(KeychainDeviceStore::metadataKey, DeviceList([&] {
                                                            auto all = devices;
                                                            all.push_back(anna);
                                                            return all;
                                                        }())
                                                            .encode());
    auto slow = std::make_shared<SlowKeyring>(keyring);
    std::promise<void> keysChanged;
    KeychainDeviceStore store(defaults, slow, std::make_shared<KeyFileVault>(keyFilePath), lastSeenDelay);
    std::once_flag once;
    store.setKeysChangedHandler(
        [&keysChanged, &once] { std::call_once(once, [&keysChanged] { keysChanged.set_value(); }); });
    ReleaseOnExit releaser{slow};

    auto early = store.sessionKeys();
    ASSERT_EQ(early.size(), 1u) << "only the key file's key is known before the keyring answered";
    EXPECT_EQ(early[0].identity, anna.id.text());
    EXPECT_EQ(keyFile().size(), 1u) << "the key file's key has not moved yet";
    EXPECT_EQ(keyring->reads(), 0);

    slow->release();
    ASSERT_EQ(keysChanged.get_future().wait_for(30s), std::future_status::ready);
    EXPECT_EQ(store.sessionKeys().size(), deviceCount + 1);
    store.waitForBackgroundWork();
    EXPECT_TRUE(keyFile().empty()) << "moved to the keyring in the background";
    EXPECT_EQ(keyring->items().at(anna.id).key, annaKey);
    EXPECT_EQ(keyring->reads(), 0) << "no key was looked up on its own";
    EXPECT_EQ(keyring->readAlls(), 1);
    EXPECT_EQ(store.key(devices[500].id), annaKey);
    EXPECT_EQ(keyring->reads(), 0) << "lookups are answered from what the start read";
}

TEST_F(KeychainDeviceStoreFixture, KeysTheKeyringCouldNotGiveAreAskedForAgainWhenTheListenerNeedsThem) {
    makeStore()->add(anna, annaKey);
    keyring->failWith(locked());
    auto store = makeStore();
    std::atomic<bool> told = false;
    store->setKeysChangedHandler([&told] { told = true; });
    EXPECT_TRUE(store->sessionKeys().empty());
    store->waitForBackgroundWork();
    EXPECT_FALSE(told);
    keyring->failWith(std::nullopt);
    EXPECT_TRUE(store->sessionKeys().empty()) << "never waits: the keys come in the background";
    store->waitForBackgroundWork();
    EXPECT_TRUE(told);
    EXPECT_EQ(store->sessionKeys().size(), 1u);
    EXPECT_EQ(keyring->readAlls(), 3);
}

// The server holds new handshakes until the start's read has ended: it hears of the end also when no key came.
TEST_F(KeychainDeviceStoreFixture, TheEndOfTheStartsKeyReadIsToldToWhoeverFoundItRunning) {
    EXPECT_TRUE(makeStore()->keysLoaded()) << "no device, nothing to read";
    makeStore()->add(anna, annaKey);
    keyring->failWith(noAnswer());
    auto slow = std::make_shared<SlowKeyring>(keyring);
    KeychainDeviceStore store(defaults, slow, std::make_shared<KeyFileVault>(keyFilePath), lastSeenDelay);
    ReleaseOnExit releaser{slow};
    std::atomic<int> told = 0;
    store.setKeysChangedHandler([&told] { ++told; });
    EXPECT_FALSE(store.keysLoaded());
    slow->release();
    store.waitForBackgroundWork();
    EXPECT_TRUE(store.keysLoaded());
    EXPECT_EQ(told, 1) << "no key came, yet the read has ended";
    store.sessionKeys();
    store.waitForBackgroundWork();
    EXPECT_EQ(told, 1) << "later reads tell only of keys that came";
}

// Mend: devices whose keys went with a corrupt key file stayed listed and could never connect, and nothing said so.
TEST_F(KeychainDeviceStoreFixture, APairedDeviceLeftWithoutAKeyIsNamedOnce) {
    keyring->failWith(unreachable());
    makeStore()->add(anna, annaKey);
    std::filesystem::create_directories(keyFilePath.parent_path());
    folder.write("data/device-keys.json", "{\"E621E1F8-C36C-495A-93FC-0C247A3E6E5F\": \"oQ");
    auto store = makeStore();
    store->sessionKeys();
    store->waitForBackgroundWork();
    auto texts = logTexts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(),
                         "DeviceStore: The key of the paired device \"Anna\" (E621E1F8-C36C-495A-93FC-0C247A3E6E5F) is "
                         "not in the key file, and the keyring cannot be reached"),
              1);

    keyring->failWith(std::nullopt);
    makeStore();
    EXPECT_EQ(logTexts().back(), "DeviceStore: No key found for the paired device \"Anna\" "
                                 "(E621E1F8-C36C-495A-93FC-0C247A3E6E5F); it has to pair again");
}

// Mend: a key file that could not be read would have been replaced by the next key written to it.
TEST_F(KeychainDeviceStoreFixture, AKeyFileThatCannotBeReadIsNeverWrittenOver) {
    std::filesystem::create_directories(keyFilePath.parent_path());
    std::filesystem::create_symlink(keyFilePath.filename(), keyFilePath);
    keyring->failWith(unreachable());
    auto store = makeStore();
    try {
        store->add(anna, annaKey);
        ADD_FAILURE() << "stored in a key file that could not be read";
    } catch (const DeviceStoreError& error) {
        EXPECT_EQ(std::string(error.what()), "Keychain write failed: no Secret Service on the bus; the key file could "
                                             "not be read, so nothing is written to it");
    }
    EXPECT_TRUE(std::filesystem::is_symlink(keyFilePath));
    EXPECT_TRUE(store->devices().empty());
    EXPECT_EQ(logTexts().at(0).rfind("DeviceStore: Reading the key file failed (open: ", 0), 0u) << logTexts().at(0);

    keyring->failWith(std::nullopt);
    auto withKeyring = makeStore();
    withKeyring->add(anna, annaKey);
    withKeyring->remove(ben.id);
    EXPECT_EQ(withKeyring->key(anna.id), annaKey) << "the keyring works as ever";
    EXPECT_TRUE(std::filesystem::is_symlink(keyFilePath));
}

// Mend: with a key file that could not be read, each of its devices was said to have to pair again, though it got in
// once the file could be read; and pairing one of them anew would have left the file's old key in the way.
TEST_F(KeychainDeviceStoreFixture, WhileTheKeyFileCannotBeReadItsDevicesWaitForItAndAreNotPairedOver) {
    keyring->failWith(unreachable());
    makeStore()->add(anna, annaKey);
    keyring->failWith(std::nullopt);
    std::filesystem::rename(keyFilePath, folder / "kept.json");
    std::filesystem::create_directory(keyFilePath);
    auto store = makeStore();
    auto texts = logTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(),
                        "DeviceStore: The paired device \"Anna\" (E621E1F8-C36C-495A-93FC-0C247A3E6E5F) cannot "
                        "connect until the key file can be read; its key is not in the keyring: " +
                            keyFilePath.string()),
              texts.end());
    EXPECT_TRUE(std::none_of(texts.begin(), texts.end(),
                             [](const std::string& text) { return text.find("pair again") != std::string::npos; }));
    EXPECT_EQ(store->lookupKey(anna.id), KeyLookup::unavailable()) << "its key may be in the file";
    EXPECT_EQ(store->lookupKey(anna.id), KeyLookup::unavailable());
    EXPECT_EQ(store->lookupKey(ben.id), KeyLookup::notFound());
}

} // namespace
} // namespace orvik::helper
