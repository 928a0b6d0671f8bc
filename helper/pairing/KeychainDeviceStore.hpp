#pragma once

#include "core/UserDefaults.hpp"
#include "pairing/DeviceKeyVault.hpp"
#include "pairing/KeyFileVault.hpp"
#include "pairing/PairedDeviceStore.hpp"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace orvik::helper {

// The application's device store: the device list as JSON data under the user-defaults key "pairedDevices"
// (in the order of the latest addition), each device key in the keyring, or in the key file where no keyring
// can be reached.
//
// Which vault holds a key is recorded by the key file itself: a key found there is used, every other listed
// device's key is in the keyring. Keys in the file move to the keyring whenever it is reachable (at start and
// after each successful keyring write), so a backend that changed between two starts never makes a paired
// device look removed.
//
// Key cache: a key found, or a key certainly absent, is remembered for the life of the store (or until the
// device is added or removed again). A read error (locked keyring, no answer in time) is logged and not
// remembered, so the next lookup asks again; while the keyring is unreachable a listed device whose key is
// not in the file reads as unavailable, not as absent. A lookup that raced with add or remove never replaces
// what they left in the cache.
//
// Locks: `listMutex_` serialises device-list reads and every change; `cacheMutex_` guards only the cache and
// is taken after `listMutex_` when both are needed. lookupKey takes neither while it reads the vaults.
class KeychainDeviceStore final : public PairedDeviceStore {
public:
    using StoreError = DeviceStoreError;

    static constexpr const char* metadataKey = "pairedDevices";
    static constexpr const char* labelPrefix = "Orvik Helper: ";

    KeychainDeviceStore(std::shared_ptr<UserDefaults> defaults, std::shared_ptr<DeviceKeyVault> keyring,
                        std::shared_ptr<KeyFileVault> keyFile);

    // The production store: the Secret Service, and the key file in the helper's data folder.
    static std::shared_ptr<KeychainDeviceStore> standard(std::shared_ptr<UserDefaults> defaults);

    std::vector<PairedDevice> devices() const override;
    KeyLookup lookupKey(const Uuid& deviceID) override;
    void add(const PairedDevice& device, ByteView key) override;
    void remove(const Uuid& deviceID) override;
    void updateLastSeen(const Uuid& deviceID, Date at) override;

    // Moves the key file's keys into the keyring when it is reachable. Done at construction and after keyring
    // writes; public for the application to call again (e.g. once the desktop unlocked the keyring).
    void migrateKeyFile();

private:
    std::vector<PairedDevice> loadMetadata() const;
    void saveMetadata(const std::vector<PairedDevice>& devices);
    KeyLookup readKey(const Uuid& deviceID);
    bool isListed(const Uuid& deviceID) const;
    void storeInKeyFile(const Uuid& deviceID, ByteView key, const std::string& reason);
    void migrateKeyFileLocked();
    void noteUnreachable(const std::string& detail);
    void setCache(const Uuid& deviceID, std::optional<Bytes> key);

    std::shared_ptr<UserDefaults> defaults_;
    std::shared_ptr<DeviceKeyVault> keyring_;
    std::shared_ptr<KeyFileVault> keyFile_;

    mutable std::mutex listMutex_;
    std::mutex cacheMutex_;
    std::map<Uuid, std::optional<Bytes>> cache_;
    std::uint64_t cacheEpoch_ = 0; // advanced by every add and remove
    std::atomic<bool> reportedUnreachable_{false};
};

} // namespace orvik::helper
