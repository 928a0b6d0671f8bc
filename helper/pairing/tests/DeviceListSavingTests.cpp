// How the keychain store keeps and saves the device list: read once, damaged entries kept, lastSeen saved later
// off the caller's thread, every save in the order of the changes.
#include "core/FileUserDefaults.hpp"
#include "pairing/tests/KeychainStoreFixture.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <condition_variable>
#include <future>

namespace orvik::helper {
namespace {

using namespace testing;
using namespace std::chrono_literals;

// In-memory defaults whose next write of the device list, once closed, waits until opened again: a slow disk.
class GatedDefaults final : public UserDefaults {
public:
    std::optional<Value> value(std::string_view key) const override { return inner_.value(key); }
    void set(std::string_view key, Value value) override {
        if (key == KeychainDeviceStore::metadataKey) {
            std::unique_lock lock(mutex_);
            if (closed_) {
                closed_ = false;
                entered_ = true;
                changed_.notify_all();
                changed_.wait(lock, [this] { return opened_; });
            }
        }
        inner_.set(key, std::move(value));
    }
    void remove(std::string_view key) override { inner_.remove(key); }

    void closeForTheNextWrite() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        opened_ = false;
        entered_ = false;
    }
    bool waitUntilAWriteWaits(std::chrono::seconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [this] { return entered_; });
    }
    void open() {
        std::lock_guard lock(mutex_);
        opened_ = true;
        changed_.notify_all();
    }

private:
    InMemoryUserDefaults inner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool closed_ = false;
    bool opened_ = true;
    bool entered_ = false;
};

// Opens the gate when it goes, so that a failed expectation never leaves a write waiting.
struct OpenOnExit {
    std::shared_ptr<GatedDefaults> gate;
    ~OpenOnExit() { gate->open(); }
};

std::string storedText(const UserDefaults& defaults) {
    auto stored = *defaults.data(KeychainDeviceStore::metadataKey);
    return std::string(stored.begin(), stored.end());
}

// Mend: one entry an older or newer version wrote differently made every device read as unpaired, and the next
// pairing stored a list of only the new device.
TEST_F(KeychainDeviceStoreFixture, AnEntryOfAnotherVersionIsSkippedLoggedAndKeptWhenTheListIsSavedAgain) {
    auto benOfAnotherVersion = ben.toJson();
    benOfAnotherVersion["pairedAt"] = "2024-05-01T10:00:00Z";
    defaults->setData("pairedDevices", bytesOf(nlohmann::json::array({anna.toJson(), benOfAnotherVersion}).dump()));
    keyring->put(anna.id, annaKey);
    keyring->put(ben.id, benKey);
    auto store = makeStore();
    EXPECT_EQ(store->devices(), Devices{anna});
    EXPECT_EQ(store->key(anna.id), annaKey);
    EXPECT_EQ(logTexts().at(0), "DeviceStore: Ignoring an unreadable paired device, kept as stored: entry 2 "
                                "(0F3C2A41-8B7D-4E22-9A61-5D0B8C7E1F24): invalidValue: pairedAt is not a number");

    auto carl = anna;
    carl.id = Uuid::random();
    carl.name = "Carl";
    store->add(carl, annaKey);
    auto stored = nlohmann::json::parse(storedText(*defaults));
    EXPECT_EQ(stored, nlohmann::json::array({anna.toJson(), benOfAnotherVersion, carl.toJson()}));
}

// Mend (the second list): a later unreadable list replaced the copy kept of the first.
TEST_F(KeychainDeviceStoreFixture, AListThatIsNoArrayIsKeptUnderAnotherKeyBeforeANewListIsSaved) {
    defaults->setText("pairedDevices", "[{\"id\": …");
    auto store = makeStore();
    EXPECT_TRUE(store->devices().empty());
    EXPECT_EQ(defaults->text("pairedDevices.unreadable"), "[{\"id\": …");
    EXPECT_EQ(logTexts().at(0), "DeviceStore: The list of paired devices is unreadable; it is kept under "
                                "\"pairedDevices.unreadable\" and the list starts empty");
    store->add(anna, annaKey);
    EXPECT_EQ(storedList(), Devices{anna});
    EXPECT_EQ(defaults->text("pairedDevices.unreadable"), "[{\"id\": …");

    defaults->setData("pairedDevices", bytesOf("{\"second\": true}"));
    makeStore();
    makeStore();
    EXPECT_EQ(defaults->text("pairedDevices.unreadable"), "[{\"id\": …");
    EXPECT_EQ(defaults->data("pairedDevices.unreadable.2"), bytesOf("{\"second\": true}"));
    EXPECT_FALSE(defaults->value("pairedDevices.unreadable.3")) << "the same list read again is kept once";
    EXPECT_EQ(logTexts().back(), "DeviceStore: The list of paired devices is unreadable; it is kept under "
                                 "\"pairedDevices.unreadable.2\" and the list starts empty");
}

// Mend: a device listed twice was listed twice, and its lastSeen went to the first entry only.
TEST_F(KeychainDeviceStoreFixture, ADeviceListedTwiceIsReadAsItsLastEntryWithTheLatestLastSeenAndLogged) {
    auto seenAnna = anna;
    seenAnna.lastSeen = pairedAt(90);
    auto renamedAnna = anna;
    renamedAnna.name = "Anna 2";
    renamedAnna.lastSeen = pairedAt(50);
    defaults->setData("pairedDevices", DeviceList({seenAnna, ben}).encode());
    auto twice = nlohmann::json::parse(storedText(*defaults));
    twice.push_back(renamedAnna.toJson());
    defaults->setData("pairedDevices", bytesOf(twice.dump()));
    auto store = makeStore();
    renamedAnna.lastSeen = pairedAt(90);
    EXPECT_EQ(store->devices(), (Devices{ben, renamedAnna}));
    EXPECT_EQ(logTexts().at(0), "DeviceStore: The paired device \"Anna 2\" (E621E1F8-C36C-495A-93FC-0C247A3E6E5F) "
                                "is listed 2 times; only its last entry is kept, with the latest lastSeen of them");
    store->updateLastSeen(anna.id, pairedAt(95));
    store->flush();
    renamedAnna.lastSeen = pairedAt(95);
    EXPECT_EQ(storedList(), (Devices{ben, renamedAnna}));
}

// Mend: with a defaults file that could not be read, a phone was told it paired and was gone after a restart. An add
// whose list cannot be saved takes its key back and fails, as any failed add.
TEST_F(KeychainDeviceStoreFixture, AnAddWhoseListCannotBeSavedTakesItsKeyBackAndFails) {
    std::filesystem::create_directory(folder / "unreadable.json");
    std::filesystem::create_directories(folder / "gone");
    struct Row {
        std::filesystem::path file;
        // The folder goes after Ben was stored: the next write fails.
        bool folderGoes;
        std::optional<VaultResult> keyring;
        std::string reason;
    };
    for (const auto& row : {
             Row{folder / "unreadable.json", false, std::nullopt,
                 "Saving the list of paired devices failed: the defaults file could not be read, so nothing is "
                 "written to it until the next start"},
             Row{folder / "gone" / "defaults.json", true, unreachable(), "Saving the list of paired devices failed: "},
         }) {
        KeychainDeviceStore store(std::make_shared<FileUserDefaults>(row.file), keyring,
                                  std::make_shared<KeyFileVault>(keyFilePath));
        Devices before;
        if (row.folderGoes) {
            store.add(ben, benKey);
            before.push_back(ben);
            std::filesystem::remove_all(row.file.parent_path());
        }
        keyring->failWith(row.keyring);
        try {
            store.add(anna, annaKey);
            ADD_FAILURE() << "stored without its list: " << row.file;
        } catch (const DeviceStoreError& error) {
            EXPECT_EQ(std::string(error.what()).rfind(row.reason, 0), 0u) << error.what();
        }
        keyring->failWith(std::nullopt);
        EXPECT_EQ(store.devices(), before) << row.file;
        EXPECT_EQ(store.lookupKey(anna.id), KeyLookup::notFound());
        EXPECT_FALSE(keyring->items().contains(anna.id));
        EXPECT_FALSE(keyFile().contains(anna.id));
    }
}

// Mend: every authentication rewrote the defaults on the caller's (the server's) thread, and decoded the whole
// list twice.
TEST_F(KeychainDeviceStoreFixture, LastSeenIsShownAtOnceAndSavedLaterWithOneWriteForManyChanges) {
    auto store = makeStore();
    store->add(anna, annaKey);
    store->add(ben, benKey);
    defaults->setData("pairedDevices", Bytes{'[', ']'});
    auto changes = defaults->changeCount();
    for (int second = 1; second <= 50; ++second) {
        store->updateLastSeen(anna.id, pairedAt(100 + second));
        store->updateLastSeen(ben.id, pairedAt(200 + second));
    }
    auto seenAnna = anna;
    seenAnna.lastSeen = pairedAt(150);
    auto seenBen = ben;
    seenBen.lastSeen = pairedAt(250);
    EXPECT_EQ(store->devices(), (Devices{seenAnna, seenBen})) << "read once, from memory, with the new dates";
    EXPECT_EQ(store->device(ben.id), seenBen);
    EXPECT_EQ(defaults->changeCount(), changes) << "nothing written by the updates themselves";

    store->flush();
    EXPECT_EQ(defaults->changeCount(), changes + 1);
    EXPECT_EQ(storedList(), (Devices{seenAnna, seenBen}));
    store->flush();
    EXPECT_EQ(defaults->changeCount(), changes + 1) << "nothing left to save";
}

TEST_F(KeychainDeviceStoreFixture, ALastSeenIsSavedAfterTheDelayOrWhenTheStoreGoes) {
    lastSeenDelay = 20ms;
    auto store = makeStore();
    store->add(anna, annaKey);
    store->updateLastSeen(anna.id, pairedAt(60));
    auto seen = anna;
    seen.lastSeen = pairedAt(60);
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (storedList() != Devices{seen} && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(storedList(), Devices{seen});

    lastSeenDelay = std::chrono::hours(1);
    auto patient = makeStore();
    patient->updateLastSeen(anna.id, pairedAt(70));
    patient.reset();
    seen.lastSeen = pairedAt(70);
    EXPECT_EQ(storedList(), Devices{seen});
}

// One writer, in order: a lastSeen save that was on its way to the disk when a device was removed never leaves the
// older list behind; and while it writes, updates and reads go on without waiting for it.
TEST_F(KeychainDeviceStoreFixture, ASlowLastSeenSaveNeitherHoldsUpUpdatesNorOverwritesALaterRemoval) {
    auto gated = std::make_shared<GatedDefaults>();
    KeychainDeviceStore store(gated, keyring, std::make_shared<KeyFileVault>(keyFilePath), 1ms);
    store.add(anna, annaKey);
    store.add(ben, benKey);
    std::future<void> firstUpdate;
    std::future<std::optional<PairedDevice>> update;
    std::future<void> removal;
    OpenOnExit opener{gated};
    gated->closeForTheNextWrite();
    firstUpdate = std::async(std::launch::async, [&store] { store.updateLastSeen(anna.id, pairedAt(60)); });
    ASSERT_TRUE(gated->waitUntilAWriteWaits(10s));
    ASSERT_EQ(firstUpdate.wait_for(10s), std::future_status::ready) << "the update waited for the disk";

    update = std::async(std::launch::async, [&store] {
        store.updateLastSeen(anna.id, pairedAt(61));
        return store.device(anna.id);
    });
    ASSERT_EQ(update.wait_for(10s), std::future_status::ready) << "an update waited for the save on its way";
    EXPECT_EQ(update.get()->lastSeen, pairedAt(61));

    removal = std::async(std::launch::async, [&store] { store.remove(anna.id); });
    std::this_thread::sleep_for(20ms);
    gated->open();
    removal.get();
    store.flush();
    std::vector<std::string> skipped;
    EXPECT_EQ(DeviceList::decode(*gated->data("pairedDevices"), skipped)->devices(), Devices{ben});
}

} // namespace
} // namespace orvik::helper
