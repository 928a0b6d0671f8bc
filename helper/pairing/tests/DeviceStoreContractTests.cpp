// What the server relies on from every PairedDeviceStore, checked against the in-memory store and against the
// keychain store (over an in-memory keyring and a key file).
#include "core/InMemoryUserDefaults.hpp"
#include "core/tests/TemporaryDirectory.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "pairing/InMemoryDeviceStore.hpp"
#include "pairing/KeychainDeviceStore.hpp"
#include "pairing/tests/FakeKeyVault.hpp"
#include "pairing/tests/TestDevices.hpp"

#include <gtest/gtest.h>

#include <future>

namespace orvik::helper {
namespace {

using namespace testing;
using Devices = std::vector<PairedDevice>;

struct InMemoryStoreMaker {
    std::shared_ptr<PairedDeviceStore> make() { return std::make_shared<InMemoryDeviceStore>(); }
};

struct KeychainStoreMaker {
    TemporaryDirectory folder;
    std::shared_ptr<PairedDeviceStore> make() {
        return std::make_shared<KeychainDeviceStore>(std::make_shared<InMemoryUserDefaults>(),
                                                     std::make_shared<FakeKeyVault>(),
                                                     std::make_shared<KeyFileVault>(folder / "keys.json"));
    }
};

template <class Maker> class DeviceStoreContract : public ::testing::Test {
protected:
    Maker maker;
    std::shared_ptr<PairedDeviceStore> store = maker.make();
};

using Makers = ::testing::Types<InMemoryStoreMaker, KeychainStoreMaker>;
TYPED_TEST_SUITE(DeviceStoreContract, Makers);

TYPED_TEST(DeviceStoreContract, StartsEmptyAndAddingAgainReplacesRecordAndKey) {
    EXPECT_TRUE(this->store->devices().empty());
    EXPECT_TRUE(this->store->sessionKeys().empty());
    EXPECT_EQ(this->store->lookupKey(anna.id), KeyLookup::notFound());
    this->store->add(anna, annaKey);
    EXPECT_EQ(this->store->devices(), Devices{anna});
    EXPECT_EQ(this->store->lookupKey(anna.id), KeyLookup::found(annaKey));
    auto renamed = anna;
    renamed.name = "Anna's new phone";
    this->store->add(renamed, benKey);
    EXPECT_EQ(this->store->devices(), Devices{renamed});
    EXPECT_EQ(this->store->key(anna.id), benKey);
}

TYPED_TEST(DeviceStoreContract, RemovingForgetsRecordAndKey) {
    this->store->add(anna, annaKey);
    this->store->add(ben, benKey);
    this->store->remove(anna.id);
    EXPECT_EQ(this->store->devices(), Devices{ben});
    EXPECT_EQ(this->store->key(anna.id), std::nullopt);
    EXPECT_NO_THROW(this->store->remove(anna.id));
}

TYPED_TEST(DeviceStoreContract, SessionKeysFollowTheDeviceOrderAndUpdateLastSeenChangesOnlyThatRecord) {
    this->store->add(anna, annaKey);
    this->store->add(ben, benKey);
    auto keys = this->store->sessionKeys();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].identity, "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(keys[0].key, OrvikKeys::sessionPSK(annaKey, anna.id));
    EXPECT_EQ(keys[1].identity, ben.id.text());
    EXPECT_EQ(keys[1].key, OrvikKeys::sessionPSK(benKey, ben.id));

    this->store->updateLastSeen(ben.id, pairedAt(99));
    this->store->updateLastSeen(Uuid::random(), pairedAt(100));
    auto seenBen = ben;
    seenBen.lastSeen = pairedAt(99);
    EXPECT_EQ(this->store->devices(), (Devices{anna, seenBen}));
}

TYPED_TEST(DeviceStoreContract, TheAsynchronousLookupAndAddAnswerOnceWithWhatTheOthersGive) {
    std::promise<std::optional<std::string>> added;
    this->store->addAsync(anna, annaKey, [&added](std::optional<std::string> failure) { added.set_value(failure); });
    EXPECT_EQ(added.get_future().get(), std::nullopt);
    EXPECT_EQ(this->store->devices(), Devices{anna});
    for (const auto& [id, expected] : {std::pair(anna.id, KeyLookup::found(annaKey)), std::pair(ben.id, KeyLookup{})}) {
        std::promise<KeyLookup> found;
        this->store->lookupKeyAsync(id, [&found](KeyLookup lookup) { found.set_value(std::move(lookup)); });
        EXPECT_EQ(found.get_future().get(), expected);
    }
}

TEST(InMemoryDeviceStore, ListsDevicesByPairingDateWhateverTheOrderOfAdding) {
    InMemoryDeviceStore store;
    store.add(ben, benKey);
    store.add(anna, annaKey);
    EXPECT_EQ(store.devices(), (Devices{anna, ben}));
}

} // namespace
} // namespace orvik::helper
