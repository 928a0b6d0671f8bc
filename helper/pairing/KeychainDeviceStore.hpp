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
// An add whose list cannot be saved (UserDefaults::setDurably) takes its key back and fails: a phone told it paired
// is never gone after a restart. A remove saves the list at once and deletes the key afterwards on the requests'
// thread (below): a crash between the two leaves a key that grants nothing (the listener offers the keys of listed
// devices only), never a listed device without its key.
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
// device is added or removed again; a removed device's key is absent at once, before the key is deleted). A read error
// (locked keyring, no answer in time) is logged and not remembered, so the next lookup asks again; while the keyring is
// unreachable a listed device whose key is not in the file reads as unavailable, not as absent. A lookup that raced
// with add or remove never replaces what they left in the cache.
//
// Threads: lookupKeyAsync, addAsync and the key deletion of remove run on a thread of their own ("DeviceKeys"), in
// the order asked, so that a keyring that does not answer holds up neither the caller nor the store's thread;
// flush() waits for them.
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
    // How long a changed lastSeen waits before it is saved.
    static constexpr std::chrono::milliseconds lastSeenSaveDelay{5000};

    KeychainDeviceStore(std::shared_ptr<UserDefaults> defaults, std::shared_ptr<DeviceKeyVault> keyring,
                        std::shared_ptr<KeyFileVault> keyFile,
                        std::chrono::milliseconds lastSeenDelay = lastSeenSaveDelay);
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

    void loadList();
    // Keeps a stored list that is not a JSON array under a key of its own, never over an earlier one.
    void keepUnreadableList(const UserDefaults::Value& stored);
    void saveList();
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
    // Puts the list and the device's cache entry back as they were before an add whose list was not saved.
    void undoAdd(const PairedDevice& device, DeviceList before, bool lastSeenWasUnsaved,
                 std::optional<std::optional<Bytes>> cachedBefore);
    void takeBackKey(const Uuid& deviceID, Vault written);
    // Deletes a removed device's key from both vaults, unless it was paired again meanwhile.
    void deleteKey(const Uuid& deviceID);
    void requestKeyLoad();
    void requestMigration();
    void loadKeys();
    void reportKeyless(const std::vector<PairedDevice>& devices, VaultResult::Status keyringStatus);
    void notifyKeysChanged();
    void noteUnreachable(const std::string& detail);
    void noteReachable();
    static void runOn(IoThread& thread, std::function<void()> task);

    std::shared_ptr<UserDefaults> defaults_;
    std::shared_ptr<DeviceKeyVault> keyring_;
    std::shared_ptr<KeyFileVault> keyFile_;
    const std::chrono::milliseconds lastSeenDelay_;

    std::mutex changeMutex_;
    std::mutex saveMutex_;
    mutable std::mutex listMutex_;
    DeviceList list_;
    bool lastSeenUnsaved_ = false;

    std::mutex cacheMutex_;
    std::map<Uuid, std::optional<Bytes>> cache_;
    std::uint64_t cacheEpoch_ = 0; // advanced by every add and remove

    std::mutex handlerMutex_;
    std::function<void()> keysChanged_;

    std::atomic<bool> reportedUnreachable_{false};
    std::atomic<bool> keyLoadRequested_{false};
    std::atomic<bool> migrationRequested_{false};
    std::atomic<bool> stopping_{false};
    // The start's read of every key has ended; keysLoaded() answered false before it did.
    std::atomic<bool> keysLoaded_{false};
    mutable std::atomic<bool> loadAwaited_{false};

    // The store's own thread, and what only that thread touches.
    std::unique_ptr<IoThread> worker_;
    std::unique_ptr<asio::steady_timer> lastSeenTimer_;
    std::set<Uuid> reportedKeyless_;
    // The asynchronous lookups and additions, and the key deletions of removals.
    std::unique_ptr<IoThread> requests_;
};

} // namespace orvik::helper
