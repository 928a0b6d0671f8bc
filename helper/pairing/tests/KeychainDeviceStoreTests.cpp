#include "pairing/tests/KeychainStoreFixture.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <future>
#include <mutex>
#include <thread>

namespace orvik::helper {
namespace {

using namespace testing;
using namespace std::chrono_literals;

TEST_F(KeychainDeviceStoreFixture, KeepsTheListAsJsonDataInTheOrderOfTheLatestAddition) {
    auto store = makeStore();
    store->add(anna, annaKey);
    store->add(ben, benKey);
    auto renamed = anna;
    renamed.name = "Anna 2";
    store->add(renamed, annaKey);
    EXPECT_EQ(store->devices(), (Devices{ben, renamed}));
    EXPECT_EQ(storedList(), store->devices());
    EXPECT_EQ(keyring->items().at(anna.id).label, "Orvik Helper: Anna 2");
    EXPECT_EQ(keyring->items().at(anna.id).key, annaKey);

    // The same list over a keyring that lost Anna's key: her session key is left out.
    auto keyringThatLostAnna = std::make_shared<FakeKeyVault>();
    keyringThatLostAnna->put(ben.id, benKey);
    auto keys = makeStore(keyringThatLostAnna)->sessionKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].identity, ben.id.text());
}

TEST_F(KeychainDeviceStoreFixture, AnUnreadableEntryIsLoggedKeptAndOnlyRealChangesRewriteTheList) {
    defaults->setData("pairedDevices", Bytes{'[', '{', '}', ']'});
    auto store = makeStore();
    EXPECT_TRUE(store->devices().empty());
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].text, "DeviceStore: Ignoring an unreadable paired device, kept as stored: entry 1: "
                                   "malformedPayload: missing id");
    store->remove(anna.id);
    EXPECT_EQ(defaults->data("pairedDevices"), (Bytes{'[', '{', '}', ']'}));
    auto changes = defaults->changeCount();
    store->updateLastSeen(anna.id, pairedAt(5));
    store->flush();
    EXPECT_EQ(defaults->changeCount(), changes) << "an unknown device's update writes nothing";
    store->add(ben, benKey);
    EXPECT_EQ(store->devices(), Devices{ben});
    auto stored = *defaults->data("pairedDevices");
    EXPECT_EQ(nlohmann::json::parse(stored.begin(), stored.end()),
              nlohmann::json::array({nlohmann::json::object(), ben.toJson()}));
}

TEST_F(KeychainDeviceStoreFixture, AKeyOrItsAbsenceIsReadOnceAndOnlyAListedDeviceHasOne) {
    makeStore()->add(anna, annaKey);
    keyring->remove(anna.id);
    auto store = makeStoreKnowingNoKey();
    EXPECT_EQ(store->key(anna.id), std::nullopt);
    EXPECT_EQ(store->key(anna.id), std::nullopt);
    EXPECT_EQ(keyring->reads(), 1);
    store->add(anna, annaKey);
    EXPECT_EQ(store->key(anna.id), annaKey);
    EXPECT_EQ(keyring->reads(), 1) << "an added key is answered from the cache, though a miss was cached";
    store->remove(anna.id);
    keyring->put(anna.id, annaKey);
    EXPECT_EQ(store->key(anna.id), std::nullopt) << "a key its removal has not deleted yet";
    EXPECT_EQ(store->lookupKey(Uuid::random()), KeyLookup::notFound());
    EXPECT_EQ(keyring->reads(), 1) << "a device that is not listed has no key to read";
}

TEST_F(KeychainDeviceStoreFixture, AFailedAddThrowsAndLeavesListAndCacheAsTheyWere) {
    auto store = makeStore();
    store->add(ben, benKey);
    EXPECT_EQ(store->key(anna.id), std::nullopt);
    keyring->failWith(locked());
    EXPECT_THROW(store->add(anna, annaKey), KeychainDeviceStore::StoreError);
    EXPECT_EQ(store->devices(), Devices{ben});
    EXPECT_EQ(store->key(anna.id), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(keyFilePath)) << "a locked keyring is no reason to use the key file";
}

// Mend: a read error is not remembered as "no key", or a keyring still locked at start would lock every
// phone out until the next restart.
TEST_F(KeychainDeviceStoreFixture, AReadErrorIsLoggedAndAskedAgainNextTime) {
    makeStore()->add(anna, annaKey);
    keyring->failWith(noAnswer());
    auto restarted = makeStore();
    EXPECT_EQ(restarted->lookupKey(anna.id), KeyLookup::unavailable());
    EXPECT_EQ(restarted->key(anna.id), std::nullopt);
    keyring->failWith(std::nullopt);
    EXPECT_EQ(restarted->key(anna.id), annaKey);
    EXPECT_EQ(keyring->reads(), 3);
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 3u) << "the start's reading of every key, then each lookup";
    EXPECT_EQ(lines[0].level, Log::Level::error);
    EXPECT_EQ(lines[0].text, "DeviceStore: Keychain read failed: no answer in time");
}

// Mend: a keyring locked at start read as holding no key: each paired phone was said to have to pair again, its key
// was remembered as absent, and the keys came only with a restart. Now the lock is said once, nothing is taken for
// absent, the store counts as loading its keys meanwhile, and the keys, and a removal's deletion, follow the unlock.
TEST_F(KeychainDeviceStoreFixture, ALockedKeyringIsSaidOnceNeverTakenForNoKeyAndReadAgainAtTheUnlock) {
    makeStore()->add(anna, annaKey);
    makeStore()->add(ben, benKey);
    keyring->failWith(locked());
    auto store = makeStore();
    std::promise<void> keysChanged;
    std::once_flag once;
    store->setKeysChangedHandler(
        [&keysChanged, &once] { std::call_once(once, [&keysChanged] { keysChanged.set_value(); }); });
    EXPECT_FALSE(store->keysLoaded());
    EXPECT_EQ(store->lookupKey(anna.id), KeyLookup::unavailable());
    EXPECT_EQ(store->lookupKey(anna.id), KeyLookup::unavailable()) << "no absence kept";
    store->remove(ben.id);
    store->flush();
    EXPECT_TRUE(keyring->items().contains(ben.id)) << "a locked answer deletes nothing";
    EXPECT_TRUE(store->sessionKeys().empty());
    store->waitForBackgroundWork();

    keyring->unlock();
    ASSERT_EQ(keysChanged.get_future().wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(store->keysLoaded());
    EXPECT_EQ(store->sessionKeys().size(), 1u);
    store->waitForBackgroundWork();
    EXPECT_FALSE(keyring->items().contains(ben.id)) << "the removal's deletion finished at the unlock";
    EXPECT_FALSE(defaults->value(KeychainDeviceStore::pendingDeletionsKey));
    EXPECT_EQ(logTexts(),
              std::vector<std::string>{"DeviceStore: Device keys wait for an unlock: the keyring is locked"});
}

// Mend: a lookup that read the keyring before an add must not replace the key the add cached meanwhile.
TEST_F(KeychainDeviceStoreFixture, ALookupRacingAnAddLeavesTheAddedKeyInTheCache) {
    makeStore()->add(anna, annaKey);
    auto store = makeStoreKnowingNoKey();
    std::future<std::optional<Bytes>> lookup;
    auto addDone =
        withTheNextReadHeld([&] { lookup = std::async(std::launch::async, [&store] { return store->key(anna.id); }); });
    store->add(anna, benKey);
    addDone.set_value();
    EXPECT_EQ(lookup.get(), benKey) << "the racing lookup answers with what add cached";
    EXPECT_EQ(store->key(anna.id), benKey);
    EXPECT_EQ(keyring->reads(), 1);
}

// Mend: the pairing looked the key up and stored it on the server's thread, so a keyring that did not answer held
// every phone for its time-out. The asynchronous forms return at once and answer from the store's own thread; a
// failed add answers why.
TEST_F(KeychainDeviceStoreFixture, TheAsynchronousLookupAndAddNeverWaitForTheKeyringAndAnswerWhyAnAddFailed) {
    makeStore()->add(anna, annaKey);
    auto store = makeStoreKnowingNoKey();
    std::promise<KeyLookup> found;
    std::promise<std::optional<std::string>> added;
    auto askedFrom = std::this_thread::get_id();
    std::thread::id answeredOn;
    auto answer = withTheNextReadHeld([&] {
        store->lookupKeyAsync(anna.id, [&](KeyLookup lookup) {
            answeredOn = std::this_thread::get_id();
            found.set_value(std::move(lookup));
        });
    });
    keyring->failWith(locked());
    store->addAsync(ben, benKey, [&added](std::optional<std::string> failure) { added.set_value(failure); });
    answer.set_value();
    EXPECT_EQ(found.get_future().get(), KeyLookup::found(annaKey));
    EXPECT_NE(answeredOn, askedFrom);
    EXPECT_EQ(added.get_future().get(), "Keychain write failed: the keyring holding the key is locked");
    EXPECT_EQ(store->devices(), Devices{anna});
}

TEST_F(KeychainDeviceStoreFixture, WithoutASecretServiceKeysGoToAnOwnerOnlyKeyFileLoggedOnce) {
    keyring->failWith(unreachable());
    auto store = makeStore();
    store->add(anna, annaKey);
    store->add(ben, benKey);
    EXPECT_EQ(keyFile(), (Keys{{anna.id, annaKey}, {ben.id, benKey}}));
    EXPECT_EQ(modeOf(keyFilePath), 0600u);
    EXPECT_EQ(modeOf(keyFilePath.parent_path()), 0700u);

    auto restarted = makeStore();
    EXPECT_EQ(restarted->key(anna.id), annaKey);
    EXPECT_EQ(restarted->devices().size(), 2u);
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u) << "once per store";
    EXPECT_EQ(lines[0].text, "DeviceStore: Secret Service unreachable, device keys fall back to the key file: "
                             "no Secret Service on the bus");
}

TEST_F(KeychainDeviceStoreFixture, WhileUnreachableAListedDeviceIsUnavailableAndAnUnknownOneNotFound) {
    makeStore()->add(anna, annaKey);
    keyring->failWith(unreachable());
    auto restarted = makeStore();
    EXPECT_EQ(restarted->lookupKey(anna.id), KeyLookup::unavailable());
    EXPECT_EQ(restarted->lookupKey(ben.id), KeyLookup::notFound());
    keyring->failWith(std::nullopt);
    EXPECT_EQ(restarted->key(anna.id), annaKey) << "unavailable was not cached";
    EXPECT_EQ(restarted->key(ben.id), std::nullopt);
}

// Mend: a key that went to the key file after the keyring had answered again was put there unsaid.
TEST_F(KeychainDeviceStoreFixture, KeysInTheFileMoveToTheKeyringAtStartOrAfterTheNextKeyringWrite) {
    keyring->failWith(unreachable());
    makeStore()->add(anna, annaKey);
    keyring->failWith(std::nullopt);
    auto store = makeStore();
    EXPECT_TRUE(keyFile().empty());
    EXPECT_EQ(keyring->items().at(anna.id).key, annaKey);
    EXPECT_EQ(keyring->items().at(anna.id).label, "Orvik Helper: Anna");
    EXPECT_EQ(store->key(anna.id), annaKey);
    EXPECT_EQ(log.lines().back().text, "DeviceStore: Moved device keys from the key file to the keychain: 1");

    keyring->failWith(unreachable());
    store->add(ben, benKey);
    EXPECT_EQ(keyFile(), (Keys{{ben.id, benKey}}));
    keyring->failWith(std::nullopt);
    auto carl = ben;
    carl.id = Uuid::random();
    store->add(carl, annaKey);
    store->waitForBackgroundWork();
    EXPECT_TRUE(keyFile().empty());
    EXPECT_EQ(keyring->items().size(), 3u);
    EXPECT_EQ(makeStore()->key(ben.id), benKey);

    keyring->failWith(unreachable());
    auto dave = ben;
    dave.id = Uuid::random();
    store->add(dave, benKey);
    auto texts = logTexts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(),
                         "DeviceStore: Secret Service unreachable, device keys fall back to the key file: "
                         "no Secret Service on the bus"),
              3)
        << "each change to the key file is said, also by a store that said it before";
}

// Mend: a kill during an unpair left the device listed without its key (the key went first), so it had to pair
// again after every start. A key left behind grants nothing.
TEST_F(KeychainDeviceStoreFixture, RemovingSavesTheListBeforeItDeletesTheKey) {
    auto store = makeStore();
    store->add(anna, annaKey);
    store->add(ben, benKey);
    std::optional<Devices> savedWhenTheKeyWent;
    keyring->beforeRemove([this, &savedWhenTheKeyWent](const Uuid&) { savedWhenTheKeyWent = storedList(); });
    store->remove(anna.id);
    store->flush();
    EXPECT_EQ(savedWhenTheKeyWent, Devices{ben});
    EXPECT_FALSE(keyring->items().contains(anna.id));
}

TEST_F(KeychainDeviceStoreFixture, RemovingDeletesTheKeyFromBothVaults) {
    keyring->failWith(unreachable());
    auto store = makeStore();
    store->add(anna, annaKey);
    keyring->failWith(std::nullopt);
    keyring->put(anna.id, annaKey);
    store->remove(anna.id);
    store->flush();
    EXPECT_TRUE(keyFile().empty());
    EXPECT_TRUE(keyring->items().empty());
    EXPECT_EQ(store->key(anna.id), std::nullopt);
}

// Mend: a removal whose key deletion did not happen (a keyring that did not answer, or a crash between the list's
// save and the deletion, with the keyring or with the key file) left a key that refused the same phone's every later
// pairing as "device ID in use". The list says who is paired, and the deletion, saved with the list, is finished
// later. No other key goes: not another settings folder's, nor one of a list kept aside as unreadable.
TEST_F(KeychainDeviceStoreFixture, AKeyARemovalLeftBehindKeepsNoPhoneFromPairingAndIsDeletedLater) {
    enum class Way { keyringDidNotAnswer, crashWithTheKeyring, crashWithTheKeyFile };
    const PairedDevice ofAnotherFolder{Uuid::random(), "Carl", "iPhone13,1", pairedAt(30)};
    const PairedDevice ofAnUnreadableList{Uuid::random(), "Dave", "iPhone12,1", pairedAt(40)};
    const Bytes otherKey(32, 0xC3);
    for (auto way : {Way::keyringDidNotAnswer, Way::crashWithTheKeyring, Way::crashWithTheKeyFile}) {
        SCOPED_TRACE(static_cast<int>(way));
        defaults = std::make_shared<InMemoryUserDefaults>();
        keyring = std::make_shared<FakeKeyVault>();
        std::filesystem::remove(keyFilePath);
        defaults->setText(KeychainDeviceStore::metadataKey, "[{\"id\": \"" + ofAnUnreadableList.id.text() + "\", …");
        for (const auto& other : {ofAnotherFolder, ofAnUnreadableList}) {
            keyring->put(other.id, otherKey);
            KeyFileVault(keyFilePath).write(other.id, {}, otherKey);
        }
        if (way == Way::crashWithTheKeyFile) keyring->failWith(unreachable());
        deletionRetryDelay = way == Way::keyringDidNotAnswer ? 10ms : std::chrono::hours(1);
        {
            auto store = makeStore();
            store->add(anna, annaKey);
            // What is on disk when the deletion starts: what a crash then leaves.
            std::optional<UserDefaults::Value> list;
            std::optional<UserDefaults::Value> deletions;
            std::string keyFileText;
            if (way == Way::keyringDidNotAnswer) keyring->failWith(noAnswer());
            keyring->beforeRemove([&](const Uuid&) {
                list = defaults->value(KeychainDeviceStore::metadataKey);
                deletions = defaults->value(KeychainDeviceStore::pendingDeletionsKey);
                keyFileText = folder.read("data/device-keys.json");
            });
            store->remove(anna.id);
            store->flush();
            keyring->beforeRemove({});
            if (way == Way::keyringDidNotAnswer) {
                EXPECT_EQ(logTexts().back(), "DeviceStore: Keychain delete failed: no answer in time");
                keyring->failWith(std::nullopt);
                auto deadline = std::chrono::steady_clock::now() + 10s;
                while (keyring->items().contains(anna.id) && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(5ms);
                EXPECT_FALSE(keyring->items().contains(anna.id)) << "tried again once the keyring answers";
                // Once more, and the store goes before the keyring answers again.
                store->add(anna, annaKey);
                keyring->failWith(noAnswer());
                store->remove(anna.id);
                store->flush();
            } else {
                ASSERT_TRUE(list && deletions);
                defaults->set(KeychainDeviceStore::metadataKey, *list);
                defaults->set(KeychainDeviceStore::pendingDeletionsKey, *deletions);
                folder.write("data/device-keys.json", keyFileText);
                if (way == Way::crashWithTheKeyring) keyring->put(anna.id, annaKey);
            }
        }
        if (way == Way::keyringDidNotAnswer) keyring->failWith(std::nullopt);
        for (int restart = 0; restart < 2; ++restart) {
            auto store = makeStore();
            EXPECT_EQ(store->lookupKey(anna.id), KeyLookup::notFound()) << "the same phone may pair again";
            EXPECT_FALSE(keyring->items().contains(anna.id));
            EXPECT_FALSE(keyFile().contains(anna.id));
            EXPECT_EQ(defaults->value(KeychainDeviceStore::pendingDeletionsKey).has_value(),
                      way == Way::crashWithTheKeyFile)
                << "deleted from a keyring that could see it, or waiting for one that cannot be reached";
            for (const auto& other : {ofAnotherFolder, ofAnUnreadableList}) {
                EXPECT_TRUE(keyFile().contains(other.id) || keyring->items().contains(other.id));
            }
        }
        auto store = makeStore();
        store->add(anna, benKey);
        EXPECT_FALSE(defaults->value(KeychainDeviceStore::pendingDeletionsKey)) << "its new key is not deleted";
        EXPECT_EQ(makeStore()->key(anna.id), benKey);
    }
}

// Mend: a removal deleted the key on the caller's thread (the server's), so a keyring that did not answer held
// every phone for its time-out. The list is saved at once and the key goes on the store's thread, after what was
// asked of it before; a device paired again meanwhile keeps its new key.
TEST_F(KeychainDeviceStoreFixture, ARemovalLeavesTheKeyToTheStoresThreadWhichSparesADevicePairedAgainMeanwhile) {
    makeStore()->add(ben, benKey);
    auto store = makeStoreKnowingNoKey();
    store->add(anna, annaKey);
    auto answer = withTheNextReadHeld([&] { store->lookupKeyAsync(ben.id, [](KeyLookup) {}); });

    store->remove(anna.id);
    EXPECT_EQ(storedList(), Devices{ben});
    EXPECT_EQ(store->key(anna.id), std::nullopt);
    EXPECT_TRUE(keyring->items().contains(anna.id)) << "the key went on this thread";
    store->add(anna, benKey);
    answer.set_value();
    store->flush();
    EXPECT_EQ(keyring->items().at(anna.id).key, benKey);
    EXPECT_EQ(store->key(anna.id), benKey);
}

} // namespace
} // namespace orvik::helper
