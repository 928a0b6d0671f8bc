#pragma once

#include "core/IoThread.hpp"
#include "core/UserDefaults.hpp"
#include "pairing/DeviceKeyVault.hpp"
#include "pairing/DeviceKeys.hpp"
#include "pairing/KeyFileVault.hpp"
#include "pairing/PairedDeviceStore.hpp"
#include "pairing/SavedDeviceList.hpp"

#include <asio/steady_timer.hpp>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvik::helper {

// The application's device store: the device list in the user defaults (SavedDeviceList), each device key in the
// keyring, or in the key file where no keyring can be reached, with a cache of them (DeviceKeys). This class makes
// the changes that touch both, in an order that survives a crash at any point.
//
// An add writes the key, then saves the list; a list that cannot be saved takes the key back and fails, so a phone
// told it paired is never gone after a restart. A remove saves the list, together with the device among the keys to
// delete, in one durable write, and deletes the key afterwards on the requests' thread (below): a crash between the
// two leaves a key that grants nothing (the list alone says who is paired), never a listed device without its key. A
// deletion the vaults did not confirm stays pending: it is tried again after the next start's key load, after an
// unlock, and every deletionRetryDelay while one failed for want of an answer. Only the keys of removed devices are
// deleted: the keyring is shared by every settings folder, and a list kept aside as unreadable names keys that must
// stay.
//
// Threads: the store's own ("DeviceStore") reads every key at start, moves the key file's keys into the keyring,
// saves lastSeen dates later, tries deletions again and reads the keys again once the keyring unlocks (which its
// vault hears, DeviceKeyVault::watchUnlocking). lookupKeyAsync, addAsync and the key deletion of remove run on a
// thread of their own ("DeviceKeys"), in the order asked, so that a keyring that does not answer holds up neither
// the caller nor the store's thread; flush() waits for them.
class KeychainDeviceStore final : public PairedDeviceStore {
public:
    using StoreError = DeviceStoreError;

    static constexpr const char* metadataKey = SavedDeviceList::listKey;
    static constexpr const char* pendingDeletionsKey = SavedDeviceList::pendingDeletionsKey;
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
    // Returns once the background work asked for so far is done (the delayed saves aside).
    void waitForBackgroundWork();

private:
    // On the store's thread: the keys read anew, the key file's moved, the deletions tried again.
    void catchUp();
    // Called by the keyring's watch, on any thread.
    void keyringMayHaveUnlocked();
    // Deletes these removed devices' keys where they are due, and forgets each deletion the vaults confirmed.
    void deleteKeys(const std::vector<Uuid>& deviceIDs, DeviceKeys::DeletionAttempt attempt);
    // On the store's thread: saves deletions a failed save left unsaved, then tries every pending one.
    void retryDeletions();
    void scheduleDeletionRetry();
    static void runOn(IoThread& thread, std::function<void()> task);

    const std::chrono::milliseconds deletionRetryDelay_;
    // First: the parts post to it, and go before it.
    std::unique_ptr<IoThread> worker_;
    SavedDeviceList list_;
    DeviceKeys keys_;

    std::atomic<bool> unlockLoadRequested_{false};
    std::atomic<bool> stopping_{false};
    // Touched on the store's thread only.
    std::unique_ptr<asio::steady_timer> deletionTimer_;
    bool deletionRetryScheduled_ = false;

    // The asynchronous lookups and additions, and the key deletions of removals.
    std::unique_ptr<IoThread> requests_;
};

} // namespace orvik::helper
