#pragma once

#include "pairing/DeviceKeyVault.hpp"
#include "pairing/KeyFileVault.hpp"
#include "pairing/PairedDeviceStore.hpp"
#include "pairing/SavedDeviceList.hpp"

#include <asio/any_io_executor.hpp>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace orvik::helper {

// The keys of the keychain store's listed devices: each in the keyring, or in the key file where no keyring can be
// reached, and a cache of them.
//
// The list says who is paired: the key of a device that is not listed is never looked up (lookup answers notFound),
// and writing a device's key replaces what was left of an earlier one.
//
// Which vault holds a key is recorded by the key file itself: a key found there is used, every other listed
// device's key is in the keyring. Construction touches no vault: the loader's executor reads every keyring key at
// once (DeviceKeyVault::readAll), and afterwards moves the key file's keys into the keyring when it is reachable (so a
// backend that changed between two starts never makes a paired device look removed); keys written later to the
// keyring are followed by another such move. sessionKeys() never waits for the keyring: it returns the keys known so
// far and the keys-changed handler hears when more became known. A listed device found to have no key at all is
// logged; while the key file cannot be read, such a device's key may be in it: it reads as unavailable, not as absent.
// Each change from the keyring to the key file is logged: no key goes there unsaid.
//
// Cache: a key found, or a key certainly absent, is remembered for the life of the store (or until the device is
// added or removed again). A read error (no answer in time) is logged and not remembered, so the next lookup asks
// again; while the keyring is unreachable or locked a listed device whose key is not in the file reads as
// unavailable, never as absent. A lookup that raced with an add or a removal never replaces what they left there.
//
// A locked keyring (as at the start of a desktop that logs in by itself) is said once. Until a load after the
// unlock, keysLoaded() answers false while a listed device's key is unknown, as during the start's load.
//
// Locks, taken in this order: the change lock (holdChanges) serialises every change that writes a vault (adds and
// key deletions, which the store makes holding it, and each step of moving keys); `cacheMutex_` guards only the
// cache. A lookup holds neither while it reads the vaults.
class DeviceKeys {
public:
    using StoreError = DeviceStoreError;

    static constexpr const char* labelPrefix = "Orvik Helper: ";

    // Where a key was written.
    enum class Vault { keyring, keyFile };
    // What became of one key deletion.
    enum class Deletion { done, retryLater, waitForKeyring };
    // A removal's own deletion, or one pending since and tried again.
    enum class DeletionAttempt { removal, retry };
    // A device's cache entry: absent without one, else the key or, absent inside, a key certainly absent.
    using CacheEntry = std::optional<std::optional<Bytes>>;

    // The keys of `list`'s devices; the loads and moves asked for run on `loader`.
    DeviceKeys(std::shared_ptr<DeviceKeyVault> keyring, std::shared_ptr<KeyFileVault> keyFile,
               const SavedDeviceList& list, asio::any_io_executor loader);

    DeviceKeys(const DeviceKeys&) = delete;
    DeviceKeys& operator=(const DeviceKeys&) = delete;

    KeyLookup lookup(const Uuid& deviceID);
    std::vector<PreSharedKey> sessionKeys();
    void setKeysChangedHandler(std::function<void()> handler);
    bool keysLoaded() const;
    // True since the keyring answered locked, until it answers as readable.
    bool keyringIsLocked() const { return keyringLocked_; }

    // On the loader's executor: every listed device's key, at once; and the key file's keys into the keyring.
    void loadKeys();
    void migrateKeyFile();
    void requestMigration();
    // On the loader's executor: `heard` is called, on any thread, when the keyring may have been unlocked.
    void watchUnlocking(std::function<void()> heard);
    // On any thread: the loader's work under way ends at its next step, and none is started any more.
    void stop() { stopping_ = true; }
    // On the loader's executor, before it ends.
    void stopWatching() { unlockWatch_.reset(); }

    [[nodiscard]] std::unique_lock<std::mutex> holdChanges() { return std::unique_lock(changeMutex_); }
    // The following are called holding the change lock.
    // Writes the device's key where it can go; throws StoreError when it goes nowhere.
    Vault write(const PairedDevice& device, ByteView key);
    void takeBack(const Uuid& deviceID, Vault written);
    // Deletes a removed device's key from both vaults; each device's failure is logged once, and a deletion put off
    // for want of a keyring only by the removal.
    Deletion deleteKey(const Uuid& deviceID, DeletionAttempt attempt);

    // Caches an added device's key before it is listed, and returns what was cached.
    CacheEntry cacheAdded(const Uuid& deviceID, ByteView key);
    // Puts back the cache entry of an add that was not saved.
    void restoreCache(const Uuid& deviceID, CacheEntry before);
    // The device was removed: a later addition reads nothing stale.
    void forget(const Uuid& deviceID);

private:
    KeyLookup readKey(const Uuid& deviceID);
    // The answer for a device whose key no vault holds: absent, unless it may be in a key file that cannot be read.
    KeyLookup missingKey(const Uuid& deviceID) const;
    void storeInKeyFile(const Uuid& deviceID, ByteView key, const std::string& reason);
    // Whether every listed device's key is known or certainly absent.
    bool keysKnown() const;
    void requestKeyLoad();
    void reportKeyless(const std::vector<PairedDevice>& devices, VaultResult::Status keyringStatus);
    void notifyKeysChanged();
    void noteUnreachable(const std::string& detail);
    void noteReachable();
    void noteLocked();
    void noteReadable();

    std::shared_ptr<DeviceKeyVault> keyring_;
    std::shared_ptr<KeyFileVault> keyFile_;
    const SavedDeviceList& list_;
    asio::any_io_executor loader_;

    std::mutex changeMutex_;
    // Removed devices whose failed deletions were logged; guarded by changeMutex_.
    std::set<Uuid> reportedDeletionFailures_;

    mutable std::mutex cacheMutex_;
    std::map<Uuid, std::optional<Bytes>> cache_;
    std::uint64_t cacheEpoch_ = 0; // advanced by every add and remove

    std::mutex handlerMutex_;
    std::function<void()> keysChanged_;

    std::atomic<bool> reportedUnreachable_{false};
    std::atomic<bool> keyringLocked_{false};
    std::atomic<bool> reportedLocked_{false};
    std::atomic<bool> keyLoadRequested_{true};
    std::atomic<bool> migrationRequested_{false};
    std::atomic<bool> stopping_{false};
    // The start's read of every key has ended; keysLoaded() answered false before it did.
    std::atomic<bool> keysLoaded_{false};
    mutable std::atomic<bool> loadAwaited_{false};

    // Touched on the loader's executor only.
    std::unique_ptr<VaultWatch> unlockWatch_;
    std::set<Uuid> reportedKeyless_;
};

} // namespace orvik::helper
