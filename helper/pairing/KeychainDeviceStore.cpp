#include "pairing/KeychainDeviceStore.hpp"

#include "core/Log.hpp"

#include <asio/post.hpp>

#include <future>
#include <utility>

namespace orvik::helper {
namespace {

constexpr const char* storeLogCategory = "DeviceStore";
constexpr const char* workerName = "DeviceStore";
constexpr const char* requestsName = "DeviceKeys";

} // namespace

KeychainDeviceStore::KeychainDeviceStore(std::shared_ptr<UserDefaults> defaults,
                                         std::shared_ptr<DeviceKeyVault> keyring, std::shared_ptr<KeyFileVault> keyFile,
                                         std::chrono::milliseconds lastSeenDelay,
                                         std::chrono::milliseconds deletionRetryDelay)
    : deletionRetryDelay_(deletionRetryDelay), worker_(std::make_unique<IoThread>(workerName)),
      list_(std::move(defaults), worker_->executor(), lastSeenDelay),
      keys_(std::move(keyring), std::move(keyFile), list_, worker_->executor()),
      deletionTimer_(std::make_unique<asio::steady_timer>(worker_->executor())),
      requests_(std::make_unique<IoThread>(requestsName, IoThread::AtDestruction::finishPendingWork)) {
    asio::post(worker_->executor(), [this] {
        if (stopping_) return;
        // Watched before the first read, so that no unlock goes unheard after it.
        keys_.watchUnlocking([this] { keyringMayHaveUnlocked(); });
        catchUp();
    });
}

KeychainDeviceStore::~KeychainDeviceStore() {
    // Every caller waiting for an answer gets it.
    requests_.reset();
    stopping_ = true;
    keys_.stop();
    // The watch and the timers go on the thread they post to, before the thread and its context do.
    runOn(*worker_, [this] {
        keys_.stopWatching();
        list_.stop();
        deletionTimer_.reset();
    });
    worker_.reset();
    list_.saveUnsavedLastSeen();
}

void KeychainDeviceStore::runOn(IoThread& thread, std::function<void()> task) {
    std::promise<void> done;
    asio::post(thread.executor(), [&task, &done] {
        task();
        done.set_value();
    });
    done.get_future().wait();
}

void KeychainDeviceStore::waitForBackgroundWork() {
    runOn(*requests_, [] {});
    runOn(*worker_, [] {});
}

void KeychainDeviceStore::flush() {
    // Their answers reach callers that are still there.
    runOn(*requests_, [] {});
    list_.saveUnsavedLastSeen();
}

void KeychainDeviceStore::catchUp() {
    keys_.loadKeys();
    keys_.migrateKeyFile();
    retryDeletions();
}

void KeychainDeviceStore::keyringMayHaveUnlocked() {
    if (unlockLoadRequested_.exchange(true)) return;
    asio::post(worker_->executor(), [this] {
        unlockLoadRequested_ = false;
        // Looked at only now, after a read under way has said what it found.
        if (!stopping_ && keys_.keyringIsLocked()) catchUp();
    });
}

// The list and the keys as their parts keep them.

std::vector<PairedDevice> KeychainDeviceStore::devices() const {
    return list_.devices();
}

std::optional<PairedDevice> KeychainDeviceStore::device(const Uuid& deviceID) const {
    return list_.device(deviceID);
}

void KeychainDeviceStore::updateLastSeen(const Uuid& deviceID, Date at) {
    list_.updateLastSeen(deviceID, at);
}

KeyLookup KeychainDeviceStore::lookupKey(const Uuid& deviceID) {
    return keys_.lookup(deviceID);
}

std::vector<PreSharedKey> KeychainDeviceStore::sessionKeys() {
    return keys_.sessionKeys();
}

void KeychainDeviceStore::setKeysChangedHandler(std::function<void()> handler) {
    keys_.setKeysChangedHandler(std::move(handler));
}

bool KeychainDeviceStore::keysLoaded() const {
    return keys_.keysLoaded();
}

void KeychainDeviceStore::migrateKeyFile() {
    keys_.migrateKeyFile();
}

void KeychainDeviceStore::lookupKeyAsync(const Uuid& deviceID, std::function<void(KeyLookup)> done) {
    asio::post(requests_->executor(), [this, deviceID, done = std::move(done)]() mutable {
        PairedDeviceStore::lookupKeyAsync(deviceID, std::move(done));
    });
}

void KeychainDeviceStore::addAsync(const PairedDevice& device, Bytes key,
                                   std::function<void(std::optional<std::string>)> done) {
    asio::post(requests_->executor(), [this, device, key = std::move(key), done = std::move(done)]() mutable {
        PairedDeviceStore::addAsync(device, std::move(key), std::move(done));
    });
}

// Changes of both.

void KeychainDeviceStore::add(const PairedDevice& device, ByteView key) {
    auto changes = keys_.holdChanges();
    const auto written = keys_.write(device, key);
    // The cache before the list: the start's key load, which caches what it reads for the devices it finds listed,
    // then sees its read raced and keeps nothing of a device listed only for the moment of a failing add.
    auto cachedBefore = keys_.cacheAdded(device.id, key);
    if (auto failure = list_.add(device)) {
        keys_.restoreCache(device.id, std::move(cachedBefore));
        keys_.takeBack(device.id, written);
        throw StoreError("Saving the list of paired devices failed: " + *failure);
    }
    if (written == DeviceKeys::Vault::keyring) keys_.requestMigration();
}

void KeychainDeviceStore::remove(const Uuid& deviceID) {
    // The list first: a key left behind grants nothing (the listener offers session keys of listed devices only),
    // while a device listed without its key would have to pair again.
    auto removal = list_.remove(deviceID);
    keys_.forget(deviceID);
    if (!removal.listed) return;
    if (removal.failure) {
        Log::error(storeLogCategory, "Saving the list of paired devices failed: " + *removal.failure +
                                         "; the removed device's key is deleted once it is saved");
        scheduleDeletionRetry();
        return;
    }
    // The key goes on the requests' thread, after what was asked before: a keyring that does not answer holds up
    // no caller, and a lookup or pairing asked later finds it gone.
    asio::post(requests_->executor(),
               [this, deviceID] { deleteKeys({deviceID}, DeviceKeys::DeletionAttempt::removal); });
}

void KeychainDeviceStore::deleteKeys(const std::vector<Uuid>& deviceIDs, DeviceKeys::DeletionAttempt attempt) {
    auto changes = keys_.holdChanges();
    std::vector<Uuid> deleted;
    bool retry = false;
    for (const auto& deviceID : deviceIDs) {
        // Paired again meanwhile, the key is the new one.
        if (!list_.deletionIsDue(deviceID)) continue;
        switch (keys_.deleteKey(deviceID, attempt)) {
        case DeviceKeys::Deletion::done: deleted.push_back(deviceID); break;
        case DeviceKeys::Deletion::retryLater: retry = true; break;
        case DeviceKeys::Deletion::waitForKeyring: break;
        }
    }
    if (!deleted.empty()) list_.forgetDeletions(deleted);
    if (retry) scheduleDeletionRetry();
}

void KeychainDeviceStore::retryDeletions() {
    auto pending = list_.pendingDeletions();
    if (pending.empty()) return;
    if (list_.saveUnsavedDeletions()) {
        scheduleDeletionRetry();
        return;
    }
    deleteKeys(pending, DeviceKeys::DeletionAttempt::retry);
}

void KeychainDeviceStore::scheduleDeletionRetry() {
    asio::post(worker_->executor(), [this] {
        if (!deletionTimer_ || std::exchange(deletionRetryScheduled_, true)) return;
        deletionTimer_->expires_after(deletionRetryDelay_);
        deletionTimer_->async_wait([this](std::error_code error) {
            deletionRetryScheduled_ = false;
            if (!error && !stopping_) retryDeletions();
        });
    });
}

} // namespace orvik::helper
