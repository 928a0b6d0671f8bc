#pragma once

#include "core/IoThread.hpp"
#include "core/UserDefaults.hpp"
#include "pairing/DeviceKeyVault.hpp"
#include "pairing/DeviceList.hpp"
#include "pairing/KeyFileVault.hpp"
#include "pairing/PairedDeviceStore.hpp"

#include <asio/steady_timer.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

namespace orvik::helper {

// The application's device store: the device list as JSON data under the user-defaults key "pairedDevices"
// (in the order of the latest addition, see DeviceList), each device key in the keyring, or in the key file where
// no keyring can be reached.
//
// The list is read once, at construction, and kept in memory. Adding and removing a device save it at once; a
// changed lastSeen is saved by the store's own thread once lastSeenSaveDelay has passed, together with every other
// lastSeen changed meanwhile (and by flush() and at destruction): a crash loses at most those last dates. One
// writer at a time, in the order of the changes, so a late lastSeen save never writes an older list over a newer.
// An add whose list cannot be saved (UserDefaults::changeDurably) takes its key back and fails: a phone told it
// paired is never gone after a restart.
//
// The list alone says who is paired: a key whose device is not listed makes no device paired (lookupKey answers
// notFound without reading a vault), and pairing that device again replaces it. A remove saves the list, together
// with the device's identifier among the keys to delete ("pairedDevices.pendingKeyDeletions"), in one durable write,
// and deletes the key afterwards on the requests' thread (below): a crash between the two leaves a key that grants
// nothing, never a listed device without its key. A deletion the vaults did not confirm stays pending: it is tried
// again after the next start's key load, after an unlock, and every keyDeletionRetryDelay while one failed for want
// of an answer. Only the keys of removed devices are deleted: the keyring is shared by every settings folder, and a
// list kept aside as unreadable names keys that must stay.
//
// Which vault holds a key is recorded by the key file itself: a key found there is used, every other listed
// device's key is in the keyring. Construction touches no vault: the store's thread then reads every keyring key at
// once (DeviceKeyVault::readAll), and afterwards moves the key file's keys into the keyring when it is reachable (so a
// backend that changed between two starts never makes a paired device look removed); keys written later to the keyring
// are followed by another such move. sessionKeys() never waits for the keyring: it returns the keys known so far and
// the keys-changed handler hears when more became known. A listed device found to have no key at all is logged; while
// the key file cannot be read, such a device's key may be in it: it reads as unavailable, not as absent. Each change
// from the keyring to the key file is logged: no key goes there unsaid.
//
// Key cache: a key found, or a key certainly absent, is remembered for the life of the store (or until the
// device is added or removed again). A read error (no answer in time) is logged and not remembered, so the next lookup
// asks again; while the keyring is unreachable or locked a listed device whose key is not in the file reads as
// unavailable, never as absent. A lookup that raced with add or remove never replaces what they left in the cache.
//
// A locked keyring (as at the start of a desktop that logs in by itself) is said once. Until a load after the unlock,
// keysLoaded() answers false while a listed device's key is unknown, as during the start's load, and the keyring's
// unlock (DeviceKeyVault::watchUnlocking) makes the store's thread read the keys again and finish the deletions.
//
// Threads: lookupKeyAsync, addAsync and the key deletion of remove run on a thread of their own ("DeviceKeys"), in
// the order asked, so that a keyring that does not answer holds up neither the caller nor the store's thread;
// flush() waits for them. Deletions tried again run on the store's thread.
//
// Locks, taken in this order: `changeMutex_` serialises every change that writes a vault (adds, key deletions,
// each step of moving keys); `saveMutex_` serialises the list's saves with the change in memory each one writes,
// and is never held while a vault is called, so a remove waits for a disk at most; `listMutex_` guards the list
// in memory and is held only for memory work, so lastSeen updates and list reads never wait for a disk or the
// keyring; `cacheMutex_` guards only the cache. lookupKey takes none of them while it reads the vaults.
class KeychainDeviceStore final : public PairedDeviceStore {
public:
    using StoreError = DeviceStoreError;

    static constexpr const char* metadataKey = "pairedDevices";
    // Where a stored list that is not a JSON array is kept, so that saving a new list never loses it.
    static constexpr const char* unreadableMetadataKey = "pairedDevices.unreadable";
    static constexpr const char* labelPrefix = "Orvik Helper: ";
    // The removed devices whose keys are still to be deleted: JSON data, an array of their identifiers' text.
    static constexpr const char* pendingDeletionsKey = "pairedDevices.pendingKeyDeletions";
    // How long a changed lastSeen waits before it is saved.
    static constexpr std::chrono::milliseconds lastSeenSaveDelay{5000};
    // How long a key deletion that got no answer waits before it is tried again.
    static constexpr std::chrono::milliseconds keyDeletionRetryDelay{20000};

    KeychainDeviceStore(std::shared_ptr<UserDefaults> defaults, std::shared_ptr<DeviceKeyVault> keyring,
                        std::shared_ptr<KeyFileVault> keyFile,
                        std::chrono::milliseconds lastSeenDelay = lastSeenSaveDelay,
                        std::chrono::milliseconds deletionRetryDelay = keyDeletionRetryDelay);
    // Lets the background work in progress end, then saves what is unsaved.
    ~KeychainDeviceStore() override;

    KeychainDeviceStore(const KeychainDeviceStore&) = delete;
    KeychainDeviceStore& operator=(const KeychainDeviceStore&) = delete;

    std::vector<PairedDevice> devices() const override;
    std::optional<PairedDevice> device(const Uuid& deviceID) const override;
    KeyLookup lookupKey(const Uuid& deviceID) override;
    void add(const PairedDevice& device, ByteView key) override;
    void remove(const Uuid& deviceID) override;
    void updateLastSeen(const Uuid& deviceID, Date at) override;
    std::vector<PreSharedKey> sessionKeys() override;
    void setKeysChangedHandler(std::function<void()> handler) override;
    bool keysLoaded() const override;
    void flush() override;
    void lookupKeyAsync(const Uuid& deviceID, std::function<void(KeyLookup)> done) override;
    void addAsync(const PairedDevice& device, Bytes key, std::function<void(std::optional<std::string>)> done) override;

    // Moves the key file's keys into the keyring when it is reachable, on the caller's thread. The store's thread
    // does this after the start and after keyring writes.
    void migrateKeyFile();
    // Returns once the background work asked for so far is done (the delayed lastSeen save aside).
    void waitForBackgroundWork();

private:
    // Where a key was written.
    enum class Vault { keyring, keyFile };
    // What became of one key deletion.
    enum class Deletion { done, retryLater, waitForKeyring };

    void loadList();
    // Keeps a stored list that is not a JSON array under a key of its own, never over an earlier one.
    void keepUnreadableList(const UserDefaults::Value& stored);
    void loadPendingDeletions();
    void saveList();
    // Called holding saveMutex_: the list and its pending deletions in one durable write.
    std::optional<std::string> saveListAndDeletions();
    // Called holding listMutex_.
    std::optional<UserDefaults::Value> encodedDeletions() const;
    void saveUnsavedLastSeen();
    void scheduleLastSeenSave();
    KeyLookup readKey(const Uuid& deviceID);
    // The answer for a device whose key no vault holds: absent, unless it may be in a key file that cannot be read.
    KeyLookup missingKey(const Uuid& deviceID) const;
    bool isListed(const Uuid& deviceID) const;
    Vault writeKey(const PairedDevice& device, ByteView key);
    void storeInKeyFile(const Uuid& deviceID, ByteView key, const std::string& reason);
    // Lists the device and caches its key, and saves the list; on a failed save puts both back and says why.
    std::optional<std::string> listAdded(const PairedDevice& device, ByteView key);
    // Puts the list, its pending deletions and the device's cache entry back as they were before an add whose list
    // was not saved.
    void undoAdd(const PairedDevice& device, DeviceList before, bool lastSeenWasUnsaved,
                 std::optional<std::optional<Bytes>> cachedBefore, bool wasPendingDeletion);
    void takeBackKey(const Uuid& deviceID, Vault written);
    // Deletes these removed devices' keys from both vaults where they are still pending, and forgets each deletion
    // the vaults confirmed.
    void deleteKeys(const std::vector<Uuid>& deviceIDs);
    Deletion deleteKey(const Uuid& deviceID);
    void forgetDeletions(const std::vector<Uuid>& deviceIDs);
    // On the store's thread: saves deletions a failed save left unsaved, then tries every pending one.
    void retryDeletions();
    void scheduleDeletionRetry();
    void requestKeyLoad();
    void requestMigration();
    void loadKeys();
    void reportKeyless(const std::vector<PairedDevice>& devices, VaultResult::Status keyringStatus);
    void notifyKeysChanged();
    // Whether every listed device's key is known or certainly absent, the keyring's lock aside.
    bool keysKnown() const;
    // Called by the keyring's watch, on any thread.
    void keyringMayHaveUnlocked();
    void noteUnreachable(const std::string& detail);
    void noteReachable();
    // Said once per lock; keysLoaded() answers false meanwhile while a listed device's key is unknown.
    void noteLocked();
    void noteReadable();
    static void runOn(IoThread& thread, std::function<void()> task);

    std::shared_ptr<UserDefaults> defaults_;
    std::shared_ptr<DeviceKeyVault> keyring_;
    std::shared_ptr<KeyFileVault> keyFile_;
    const std::chrono::milliseconds lastSeenDelay_;
    const std::chrono::milliseconds deletionRetryDelay_;

    std::mutex changeMutex_;
    // Removed devices whose failed deletions were logged; guarded by changeMutex_.
    std::set<Uuid> reportedDeletionFailures_;
    std::mutex saveMutex_;
    mutable std::mutex listMutex_;
    DeviceList list_;
    bool lastSeenUnsaved_ = false;
    std::set<Uuid> pendingDeletions_;
    // A removal's save failed: no key is deleted until the deletions are saved.
    bool deletionsUnsaved_ = false;

    mutable std::mutex cacheMutex_;
    std::map<Uuid, std::optional<Bytes>> cache_;
    std::uint64_t cacheEpoch_ = 0; // advanced by every add and remove

    std::mutex handlerMutex_;
    std::function<void()> keysChanged_;

    std::atomic<bool> reportedUnreachable_{false};
    std::atomic<bool> keyringLocked_{false};
    std::atomic<bool> reportedLocked_{false};
    std::atomic<bool> unlockLoadRequested_{false};
    std::atomic<bool> keyLoadRequested_{false};
    std::atomic<bool> migrationRequested_{false};
    std::atomic<bool> stopping_{false};
    // The start's read of every key has ended; keysLoaded() answered false before it did.
    std::atomic<bool> keysLoaded_{false};
    mutable std::atomic<bool> loadAwaited_{false};

    // The store's own thread, and what only that thread touches.
    std::unique_ptr<IoThread> worker_;
    std::unique_ptr<asio::steady_timer> lastSeenTimer_;
    std::unique_ptr<asio::steady_timer> deletionTimer_;
    bool deletionRetryScheduled_ = false;
    std::unique_ptr<VaultWatch> unlockWatch_;
    std::set<Uuid> reportedKeyless_;
    // The asynchronous lookups and additions, and the key deletions of removals.
    std::unique_ptr<IoThread> requests_;
};

} // namespace orvik::helper
