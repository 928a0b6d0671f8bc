#pragma once

#include "core/InMemoryUserDefaults.hpp"
#include "core/tests/CapturedLog.hpp"
#include "core/tests/TemporaryDirectory.hpp"
#include "pairing/KeychainDeviceStore.hpp"
#include "pairing/tests/FakeKeyVault.hpp"
#include "pairing/tests/TestDevices.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orvik::helper::testing {

using Devices = std::vector<PairedDevice>;
using Keys = std::map<Uuid, Bytes>;

// The keychain store over an in-memory keyring, in-memory defaults and a key file in a folder of the test's own.
class KeychainDeviceStoreFixture : public ::testing::Test {
protected:
    TemporaryDirectory folder;
    std::shared_ptr<InMemoryUserDefaults> defaults = std::make_shared<InMemoryUserDefaults>();
    std::shared_ptr<FakeKeyVault> keyring = std::make_shared<FakeKeyVault>();
    std::filesystem::path keyFilePath = folder / "data" / "device-keys.json";
    CapturedLog log;
    // Long enough that no test sees a lastSeen saved but by flush(), unless it asks for less.
    std::chrono::milliseconds lastSeenDelay = std::chrono::hours(1);
    // Likewise for a key deletion tried again.
    std::chrono::milliseconds deletionRetryDelay = std::chrono::hours(1);

    // A store whose start-up work in the background (reading the keys, moving the key file's) is done.
    std::unique_ptr<KeychainDeviceStore> makeStore(const std::shared_ptr<FakeKeyVault>& vault = nullptr) {
        auto store = std::make_unique<KeychainDeviceStore>(defaults, vault ? vault : keyring,
                                                           std::make_shared<KeyFileVault>(keyFilePath), lastSeenDelay,
                                                           deletionRetryDelay);
        store->waitForBackgroundWork();
        return store;
    }
    // A store started while the keyring did not answer: it lists its devices, but knows none of their keys yet.
    std::unique_ptr<KeychainDeviceStore> makeStoreKnowingNoKey() {
        keyring->failWith(noAnswer());
        auto store = makeStore();
        keyring->failWith(std::nullopt);
        return store;
    }
    // Starts `reading` and returns once its keyring read waits; that read returns when the promise given back is
    // kept (or after 10 s).
    std::promise<void> withTheNextReadHeld(const std::function<void()>& reading) {
        auto started = std::make_shared<std::promise<void>>();
        std::promise<void> release;
        auto released = release.get_future().share();
        keyring->beforeReadReturns([started, released] {
            started->set_value();
            released.wait_for(std::chrono::seconds(10));
        });
        reading();
        EXPECT_EQ(started->get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
        keyring->beforeReadReturns({});
        return release;
    }
    Keys keyFile() const { return KeyFileVault(keyFilePath).entries(); }
    // The records of the list the defaults hold.
    Devices storedList() const {
        std::vector<std::string> skipped;
        return DeviceList::decode(*defaults->data(KeychainDeviceStore::metadataKey), skipped)->devices();
    }
    std::vector<std::string> logTexts() const {
        std::vector<std::string> texts;
        for (const auto& line : log.lines()) texts.push_back(line.text);
        return texts;
    }
    static Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }
    static VaultResult unreachable() { return VaultResult::unreachable("no Secret Service on the bus"); }
    static VaultResult locked() { return VaultResult::locked("the keyring holding the key is locked"); }
    static VaultResult noAnswer() { return VaultResult::failed("no answer in time"); }
};

} // namespace orvik::helper::testing
