#include "pairing/KeychainDeviceStore.hpp"

#include "core/Log.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <future>
#include <utility>

namespace orvik::helper {
namespace {

constexpr const char* storeLogCategory = "DeviceStore";
constexpr const char* workerName = "DeviceStore";
constexpr const char* requestsName = "DeviceKeys";
constexpr const char* lockedNotice = "Device keys wait for an unlock: the keyring is locked";

} // namespace

KeychainDeviceStore::KeychainDeviceStore(std::shared_ptr<UserDefaults> defaults,
                                         std::shared_ptr<DeviceKeyVault> keyring, std::shared_ptr<KeyFileVault> keyFile,
                                         std::chrono::milliseconds lastSeenDelay,
                                         std::chrono::milliseconds deletionRetryDelay)
    : defaults_(std::move(defaults)), keyring_(std::move(keyring)), keyFile_(std::move(keyFile)),
      lastSeenDelay_(lastSeenDelay), deletionRetryDelay_(deletionRetryDelay),
      worker_(std::make_unique<IoThread>(workerName)),
      lastSeenTimer_(std::make_unique<asio::steady_timer>(worker_->executor())),
      deletionTimer_(std::make_unique<asio::steady_timer>(worker_->executor())),
      requests_(std::make_unique<IoThread>(requestsName, IoThread::AtDestruction::finishPendingWork)) {
    loadList();
    loadPendingDeletions();
    keysLoaded_ = list_.devices().empty();
    keyLoadRequested_ = true;
    asio::post(worker_->executor(), [this] {
        if (stopping_) return;
        // Watched before the first read, so that no unlock goes unheard after it.
        unlockWatch_ = keyring_->watchUnlocking([this] { keyringMayHaveUnlocked(); });
        loadKeys();
        migrateKeyFile();
        retryDeletions();
    });
}

KeychainDeviceStore::~KeychainDeviceStore() {
    // Every caller waiting for an answer gets it.
    requests_.reset();
    stopping_ = true;
    // The watch and the timers go on the thread they post to, before the thread and its context do.
    runOn(*worker_, [this] {
        unlockWatch_.reset();
        lastSeenTimer_.reset();
        deletionTimer_.reset();
    });
    worker_.reset();
    saveUnsavedLastSeen();
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

// The device list.

void KeychainDeviceStore::loadList() {
    auto stored = defaults_->value(metadataKey);
    if (!stored) return;
    std::vector<std::string> skipped;
    std::vector<std::string> merged;
    std::optional<DeviceList> decoded;
    if (const auto* bytes = std::get_if<Bytes>(&*stored)) decoded = DeviceList::decode(*bytes, skipped, merged);
    if (!decoded) {
        keepUnreadableList(*stored);
        return;
    }
    for (const auto& problem : skipped) {
        Log::error(storeLogCategory, "Ignoring an unreadable paired device, kept as stored: " + problem);
    }
    for (const auto& repeated : merged) {
        Log::error(storeLogCategory,
                   "The paired device " + repeated + "; only its last entry is kept, with the latest lastSeen of them");
    }
    list_ = std::move(*decoded);
}

void KeychainDeviceStore::keepUnreadableList(const UserDefaults::Value& stored) {
    std::string key = unreadableMetadataKey;
    for (int copy = 2; defaults_->value(key) && defaults_->value(key) != stored; ++copy) {
        key = std::string(unreadableMetadataKey) + "." + std::to_string(copy);
    }
    defaults_->set(key, stored);
    Log::error(storeLogCategory,
               "The list of paired devices is unreadable; it is kept under \"" + key + "\" and the list starts empty");
}

void KeychainDeviceStore::loadPendingDeletions() {
    auto stored = defaults_->data(pendingDeletionsKey);
    if (!stored) return;
    auto identifiers = nlohmann::json::parse(stored->begin(), stored->end(), nullptr, false);
    if (!identifiers.is_array()) {
        Log::error(storeLogCategory, "Ignoring the unreadable list of removed devices' keys to delete");
        return;
    }
    for (const auto& text : identifiers) {
        auto deviceID = text.is_string() ? Uuid::parse(text.get_ref<const std::string&>()) : std::nullopt;
        // One paired again by a version that kept no such list has a new key.
        if (deviceID && !list_.find(*deviceID)) pendingDeletions_.insert(*deviceID);
    }
}

std::optional<UserDefaults::Value> KeychainDeviceStore::encodedDeletions() const {
    if (pendingDeletions_.empty()) return std::nullopt;
    auto identifiers = nlohmann::json::array();
    for (const auto& deviceID : pendingDeletions_) identifiers.push_back(deviceID.text());
    auto text = identifiers.dump();
    return Bytes(text.begin(), text.end());
}

std::optional<std::string> KeychainDeviceStore::saveListAndDeletions() {
    UserDefaults::Changes changes;
    {
        std::lock_guard lock(listMutex_);
        changes.emplace_back(metadataKey, list_.encode());
        changes.emplace_back(pendingDeletionsKey, encodedDeletions());
    }
    return defaults_->changeDurably(std::move(changes));
}

// Called holding saveMutex_: saves are made one at a time, each of the list as it is then.
void KeychainDeviceStore::saveList() {
    Bytes encoded;
    {
        std::lock_guard lock(listMutex_);
        lastSeenUnsaved_ = false;
        encoded = list_.encode();
    }
    defaults_->setData(metadataKey, std::move(encoded));
}

void KeychainDeviceStore::saveUnsavedLastSeen() {
    std::lock_guard save(saveMutex_);
    {
        std::lock_guard lock(listMutex_);
        if (!lastSeenUnsaved_) return;
    }
    saveList();
}

void KeychainDeviceStore::flush() {
    // Their answers reach callers that are still there.
    runOn(*requests_, [] {});
    saveUnsavedLastSeen();
}

std::vector<PairedDevice> KeychainDeviceStore::devices() const {
    std::lock_guard lock(listMutex_);
    return list_.devices();
}

std::optional<PairedDevice> KeychainDeviceStore::device(const Uuid& deviceID) const {
    std::lock_guard lock(listMutex_);
    const auto* found = list_.find(deviceID);
    if (!found) return std::nullopt;
    return *found;
}

bool KeychainDeviceStore::isListed(const Uuid& deviceID) const {
    std::lock_guard lock(listMutex_);
    return list_.find(deviceID) != nullptr;
}

void KeychainDeviceStore::updateLastSeen(const Uuid& deviceID, Date at) {
    {
        std::lock_guard lock(listMutex_);
        auto* listed = list_.find(deviceID);
        if (!listed) return;
        listed->lastSeen = at;
        if (std::exchange(lastSeenUnsaved_, true)) return;
    }
    scheduleLastSeenSave();
}

void KeychainDeviceStore::scheduleLastSeenSave() {
    asio::post(worker_->executor(), [this] {
        if (!lastSeenTimer_) return;
        lastSeenTimer_->expires_after(lastSeenDelay_);
        lastSeenTimer_->async_wait([this](std::error_code error) {
            if (!error) saveUnsavedLastSeen();
        });
    });
}

// Keys.

KeyLookup KeychainDeviceStore::lookupKey(const Uuid& deviceID) {
    // A key left behind by a removed device makes nobody paired.
    if (!isListed(deviceID)) return KeyLookup::notFound();
    std::uint64_t epoch = 0;
    std::optional<std::optional<Bytes>> cached;
    {
        std::lock_guard lock(cacheMutex_);
        if (auto entry = cache_.find(deviceID); entry != cache_.end()) cached = entry->second;
        epoch = cacheEpoch_;
    }
    if (!cached) {
        KeyLookup result = readKey(deviceID);
        std::lock_guard lock(cacheMutex_);
        if (auto entry = cache_.find(deviceID); entry != cache_.end()) {
            cached = entry->second;
        } else {
            if (epoch == cacheEpoch_ && result.status == KeyLookup::Status::found) cache_[deviceID] = result.key;
            if (epoch == cacheEpoch_ && result.status == KeyLookup::Status::notFound) cache_[deviceID] = std::nullopt;
            return result;
        }
    }
    // Outside the cache's lock: the list's is taken before it.
    if (*cached) return KeyLookup::found(std::move(**cached));
    return missingKey(deviceID);
}

KeyLookup KeychainDeviceStore::missingKey(const Uuid& deviceID) const {
    if (keyFile_->isUnreadable() && isListed(deviceID)) return KeyLookup::unavailable();
    return KeyLookup::notFound();
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

// The file first: a migration writes the keyring before it deletes from the file, so a key moving between the
// two is always seen in one of them.
KeyLookup KeychainDeviceStore::readKey(const Uuid& deviceID) {
    auto inFile = keyFile_->read(deviceID);
    if (inFile.status == VaultResult::Status::ok) return KeyLookup::found(std::move(inFile.key));

    auto inKeyring = keyring_->read(deviceID);
    switch (inKeyring.status) {
    case VaultResult::Status::ok: noteReadable(); return KeyLookup::found(std::move(inKeyring.key));
    case VaultResult::Status::notFound: noteReadable(); return missingKey(deviceID);
    case VaultResult::Status::locked: noteLocked(); return KeyLookup::unavailable();
    case VaultResult::Status::unreachable:
        noteUnreachable(inKeyring.detail);
        Log::error(storeLogCategory, "Keychain read failed: " + inKeyring.detail);
        return KeyLookup::unavailable();
    case VaultResult::Status::failed: break;
    }
    Log::error(storeLogCategory, "Keychain read failed: " + inKeyring.detail);
    return KeyLookup::unavailable();
}

bool KeychainDeviceStore::keysKnown() const {
    auto listed = devices();
    auto inFile = keyFile_->entries();
    std::lock_guard lock(cacheMutex_);
    return std::all_of(listed.begin(), listed.end(), [&](const PairedDevice& device) {
        return cache_.contains(device.id) || inFile.contains(device.id);
    });
}

std::vector<PreSharedKey> KeychainDeviceStore::sessionKeys() {
    auto listed = devices();
    auto inFile = keyFile_->entries();
    std::vector<PreSharedKey> keys;
    bool unknown = false;
    {
        std::lock_guard lock(cacheMutex_);
        for (const auto& device : listed) {
            const Bytes* key = nullptr;
            if (auto cached = cache_.find(device.id); cached != cache_.end()) {
                if (!cached->second) continue;
                key = &*cached->second;
            } else if (auto filed = inFile.find(device.id); filed != inFile.end()) {
                key = &filed->second;
            } else {
                unknown = true;
                continue;
            }
            keys.push_back({OrvikKeys::sessionPSK(*key, device.id), OrvikKeys::sessionIdentity(device.id)});
        }
    }
    if (unknown) requestKeyLoad();
    return keys;
}

void KeychainDeviceStore::setKeysChangedHandler(std::function<void()> handler) {
    std::lock_guard lock(handlerMutex_);
    keysChanged_ = std::move(handler);
}

bool KeychainDeviceStore::keysLoaded() const {
    auto loaded = [this] { return keysLoaded_ && (!keyringLocked_ || keysKnown()); };
    if (loaded()) return true;
    loadAwaited_ = true;
    // Asked again: the load may have ended before it could see the flag.
    return loaded();
}

void KeychainDeviceStore::notifyKeysChanged() {
    std::function<void()> handler;
    {
        std::lock_guard lock(handlerMutex_);
        handler = keysChanged_;
    }
    if (handler) handler();
}

void KeychainDeviceStore::requestKeyLoad() {
    if (keyLoadRequested_.exchange(true)) return;
    asio::post(worker_->executor(), [this] {
        if (stopping_) return;
        loadKeys();
        migrateKeyFile();
    });
}

// Every keyring key at once; each listed device without a cache entry learns its key (the file's first).
void KeychainDeviceStore::loadKeys() {
    if (devices().empty()) {
        keyLoadRequested_ = false;
        if (!keysLoaded_.exchange(true) && loadAwaited_) notifyKeysChanged();
        return;
    }
    std::uint64_t epoch = 0;
    {
        std::lock_guard lock(cacheMutex_);
        epoch = cacheEpoch_;
    }
    const bool wasLocked = keyringLocked_;
    auto found = keyring_->readAll();
    switch (found.status) {
    case VaultResult::Status::ok: noteReadable(); break;
    case VaultResult::Status::unreachable: noteUnreachable(found.detail); break;
    case VaultResult::Status::locked: noteLocked(); break;
    case VaultResult::Status::notFound:
    case VaultResult::Status::failed: Log::error(storeLogCategory, "Keychain read failed: " + found.detail); break;
    }
    auto listed = devices();
    auto inFile = keyFile_->entries();
    bool learned = false;
    bool raced = false;
    std::vector<PairedDevice> keyless;
    {
        std::lock_guard lock(cacheMutex_);
        // An add or remove during the query may have made its answer stale: ask again.
        raced = epoch != cacheEpoch_;
        for (const auto& device : listed) {
            if (raced || cache_.contains(device.id)) continue;
            if (auto filed = inFile.find(device.id); filed != inFile.end()) {
                cache_[device.id] = filed->second;
            } else if (auto stored = found.keys.find(device.id); stored != found.keys.end()) {
                cache_[device.id] = stored->second;
            } else {
                if (found.status == VaultResult::Status::ok) cache_[device.id] = std::nullopt;
                keyless.push_back(device);
                continue;
            }
            learned = true;
        }
    }
    keyLoadRequested_ = false;
    // A raced read learned nothing: the start's read ends with the next one.
    const bool startLoadEnded = !raced && !keysLoaded_.exchange(true);
    // Whoever waits for the keys of a locked keyring hears that it can read them now, even when none came.
    const bool unlocked = wasLocked && !keyringLocked_;
    reportKeyless(keyless, found.status);
    if (learned || ((startLoadEnded || unlocked) && loadAwaited_)) notifyKeysChanged();
    if (raced) requestKeyLoad();
}

void KeychainDeviceStore::keyringMayHaveUnlocked() {
    if (unlockLoadRequested_.exchange(true)) return;
    asio::post(worker_->executor(), [this] {
        unlockLoadRequested_ = false;
        // Looked at only now, after a read under way has said what it found.
        if (stopping_ || !keyringLocked_) return;
        loadKeys();
        migrateKeyFile();
        retryDeletions();
    });
}

// Devices listed without a key cannot connect: each is named once, with what would let it.
void KeychainDeviceStore::reportKeyless(const std::vector<PairedDevice>& devices, VaultResult::Status keyringStatus) {
    if (keyringStatus != VaultResult::Status::ok && keyringStatus != VaultResult::Status::unreachable) return;
    for (const auto& device : devices) {
        if (!reportedKeyless_.insert(device.id).second) continue;
        if (keyFile_->isUnreadable()) {
            Log::error(storeLogCategory, "The paired device " + device.nameAndID() +
                                             " cannot connect until the key file can be read; its key is not in "
                                             "the keyring: " +
                                             keyFile_->path().string());
        } else if (keyringStatus == VaultResult::Status::ok) {
            Log::error(storeLogCategory,
                       "No key found for the paired device " + device.nameAndID() + "; it has to pair again");
        } else {
            Log::error(storeLogCategory, "The key of the paired device " + device.nameAndID() +
                                             " is not in the key file, and the keyring cannot be reached");
        }
    }
}

void KeychainDeviceStore::requestMigration() {
    if (migrationRequested_.exchange(true)) return;
    asio::post(worker_->executor(), [this] {
        migrationRequested_ = false;
        if (!stopping_) migrateKeyFile();
    });
}

void KeychainDeviceStore::migrateKeyFile() {
    auto pending = keyFile_->entries();
    if (pending.empty()) return;
    std::map<Uuid, Bytes> moved;
    for (const auto& [id, key] : pending) {
        if (stopping_) break;
        std::lock_guard change(changeMutex_);
        // An add or remove since the listing has dealt with this key already.
        auto current = keyFile_->read(id);
        if (current.status != VaultResult::Status::ok || current.key != key) continue;
        auto listed = device(id);
        auto written = keyring_->write(id, labelPrefix + (listed ? listed->name : id.text()), key);
        if (written.status == VaultResult::Status::unreachable) noteUnreachable(written.detail);
        if (written.status != VaultResult::Status::ok) break;
        moved.emplace(id, key);
    }
    if (moved.empty()) return;
    std::lock_guard change(changeMutex_);
    if (auto removed = keyFile_->removeUnchanged(moved); removed.status != VaultResult::Status::ok) {
        Log::error(storeLogCategory, "Key file delete failed: " + removed.detail);
        return;
    }
    Log::notice(storeLogCategory,
                "Moved device keys from the key file to the keychain: " + std::to_string(moved.size()));
}

// Changes.

void KeychainDeviceStore::add(const PairedDevice& device, ByteView key) {
    std::lock_guard change(changeMutex_);
    const Vault written = writeKey(device, key);
    if (auto failure = listAdded(device, key)) {
        takeBackKey(device.id, written);
        throw StoreError("Saving the list of paired devices failed: " + *failure);
    }
    if (written == Vault::keyring) requestMigration();
}

std::optional<std::string> KeychainDeviceStore::listAdded(const PairedDevice& device, ByteView key) {
    std::lock_guard save(saveMutex_);
    // The cache before the list: the start's key load, which caches what it reads for the devices it finds listed,
    // then sees its read raced and keeps nothing of a device listed only for the moment of a failing add.
    std::optional<std::optional<Bytes>> cachedBefore;
    {
        std::lock_guard lock(cacheMutex_);
        if (auto cached = cache_.find(device.id); cached != cache_.end()) cachedBefore = cached->second;
        cache_[device.id] = Bytes(key.begin(), key.end());
        ++cacheEpoch_;
    }
    DeviceList before;
    bool lastSeenWasUnsaved = false;
    bool wasPendingDeletion = false;
    {
        std::lock_guard lock(listMutex_);
        before = list_;
        lastSeenWasUnsaved = std::exchange(lastSeenUnsaved_, false);
        list_.add(device);
        // Its old key, replaced by the new one, is no longer to be deleted.
        wasPendingDeletion = pendingDeletions_.erase(device.id) > 0;
    }
    auto failure = saveListAndDeletions();
    if (failure) undoAdd(device, std::move(before), lastSeenWasUnsaved, std::move(cachedBefore), wasPendingDeletion);
    return failure;
}

KeychainDeviceStore::Vault KeychainDeviceStore::writeKey(const PairedDevice& device, ByteView key) {
    auto written = keyring_->write(device.id, labelPrefix + device.name, key);
    switch (written.status) {
    case VaultResult::Status::ok:
        noteReadable();
        // A copy left in the file would shadow the new key.
        if (auto removed = keyFile_->remove(device.id); removed.status != VaultResult::Status::ok) {
            keyring_->remove(device.id);
            throw StoreError("Keychain write failed: " + removed.detail);
        }
        return Vault::keyring;
    case VaultResult::Status::unreachable:
        noteUnreachable(written.detail);
        storeInKeyFile(device.id, key, written.detail);
        return Vault::keyFile;
    case VaultResult::Status::locked: noteLocked(); break;
    case VaultResult::Status::notFound:
    case VaultResult::Status::failed: break;
    }
    throw StoreError("Keychain write failed: " + written.detail);
}

void KeychainDeviceStore::storeInKeyFile(const Uuid& deviceID, ByteView key, const std::string& reason) {
    auto stored = keyFile_->write(deviceID, {}, key);
    if (stored.status != VaultResult::Status::ok) {
        throw StoreError("Keychain write failed: " + reason + "; " + stored.detail);
    }
}

void KeychainDeviceStore::undoAdd(const PairedDevice& device, DeviceList before, bool lastSeenWasUnsaved,
                                  std::optional<std::optional<Bytes>> cachedBefore, bool wasPendingDeletion) {
    {
        std::lock_guard lock(listMutex_);
        if (wasPendingDeletion) pendingDeletions_.insert(device.id);
        // Dates seen meanwhile stay.
        for (const auto& current : list_.devices()) {
            auto* earlier = before.find(current.id);
            if (!earlier || earlier->lastSeen == current.lastSeen || current.id == device.id) continue;
            earlier->lastSeen = current.lastSeen;
            lastSeenWasUnsaved = true;
        }
        list_ = std::move(before);
        lastSeenUnsaved_ = lastSeenUnsaved_ || lastSeenWasUnsaved;
    }
    {
        std::lock_guard lock(cacheMutex_);
        if (cachedBefore) {
            cache_[device.id] = std::move(*cachedBefore);
        } else {
            cache_.erase(device.id);
        }
        ++cacheEpoch_;
    }
}

void KeychainDeviceStore::takeBackKey(const Uuid& deviceID, Vault written) {
    auto removed = written == Vault::keyring ? keyring_->remove(deviceID) : keyFile_->remove(deviceID);
    if (removed.status != VaultResult::Status::ok) {
        Log::error(storeLogCategory, "Taking back the key of a device that was not stored failed: " + removed.detail);
    }
}

void KeychainDeviceStore::remove(const Uuid& deviceID) {
    bool listed = false;
    std::optional<std::string> failure;
    {
        std::lock_guard save(saveMutex_);
        {
            std::lock_guard lock(listMutex_);
            listed = list_.find(deviceID) != nullptr;
            list_.remove(deviceID);
            // Only a listed device's key is this store's to delete.
            if (listed) pendingDeletions_.insert(deviceID);
        }
        {
            std::lock_guard lock(cacheMutex_);
            cache_.erase(deviceID);
            ++cacheEpoch_;
        }
        // The list first: a key left behind grants nothing (the listener offers session keys of listed devices
        // only), while a device listed without its key would have to pair again.
        failure = saveListAndDeletions();
        if (failure && listed) {
            std::lock_guard lock(listMutex_);
            deletionsUnsaved_ = true;
        }
    }
    if (!listed) return;
    if (failure) {
        Log::error(storeLogCategory, "Saving the list of paired devices failed: " + *failure +
                                         "; the removed device's key is deleted once it is saved");
        scheduleDeletionRetry();
        return;
    }
    // The key goes on the requests' thread, after what was asked before: a keyring that does not answer holds up
    // no caller, and a lookup or pairing asked later finds it gone.
    asio::post(requests_->executor(), [this, deviceID] { deleteKeys({deviceID}); });
}

void KeychainDeviceStore::deleteKeys(const std::vector<Uuid>& deviceIDs) {
    std::lock_guard change(changeMutex_);
    std::vector<Uuid> deleted;
    bool retry = false;
    for (const auto& deviceID : deviceIDs) {
        {
            std::lock_guard lock(listMutex_);
            // Paired again meanwhile, the key is the new one; with the deletions unsaved, the list on disk may still
            // name the device.
            if (deletionsUnsaved_ || !pendingDeletions_.contains(deviceID)) continue;
        }
        switch (deleteKey(deviceID)) {
        case Deletion::done: deleted.push_back(deviceID); break;
        case Deletion::retryLater: retry = true; break;
        case Deletion::waitForKeyring: break;
        }
    }
    if (!deleted.empty()) forgetDeletions(deleted);
    if (retry) scheduleDeletionRetry();
}

// Called holding changeMutex_. Each device's failure is logged once.
KeychainDeviceStore::Deletion KeychainDeviceStore::deleteKey(const Uuid& deviceID) {
    auto fromKeyring = keyring_->remove(deviceID);
    auto fromFile = keyFile_->remove(deviceID);
    const bool firstFailure = !reportedDeletionFailures_.contains(deviceID);
    if (fromKeyring.status == VaultResult::Status::ok) noteReadable();
    if (fromKeyring.status == VaultResult::Status::locked) noteLocked();
    if (fromKeyring.status != VaultResult::Status::ok && fromKeyring.status != VaultResult::Status::locked &&
        firstFailure) {
        Log::error(storeLogCategory, "Keychain delete failed: " + fromKeyring.detail);
    }
    if (fromFile.status != VaultResult::Status::ok && firstFailure) {
        Log::error(storeLogCategory, "Key file delete failed: " + fromFile.detail);
    }
    if (fromKeyring.status == VaultResult::Status::ok && fromFile.status == VaultResult::Status::ok) {
        reportedDeletionFailures_.erase(deviceID);
        return Deletion::done;
    }
    reportedDeletionFailures_.insert(deviceID);
    if (fromKeyring.status == VaultResult::Status::failed || fromFile.status != VaultResult::Status::ok) {
        return Deletion::retryLater;
    }
    // Locked: tried again at the unlock; unreachable: when the next start finds the keyring.
    return Deletion::waitForKeyring;
}

// Called holding changeMutex_. A save that fails leaves them pending on disk: deleting them again finds nothing.
void KeychainDeviceStore::forgetDeletions(const std::vector<Uuid>& deviceIDs) {
    std::lock_guard save(saveMutex_);
    {
        std::lock_guard lock(listMutex_);
        for (const auto& deviceID : deviceIDs) pendingDeletions_.erase(deviceID);
    }
    saveListAndDeletions();
}

void KeychainDeviceStore::retryDeletions() {
    std::vector<Uuid> pending;
    bool unsaved = false;
    {
        std::lock_guard lock(listMutex_);
        pending.assign(pendingDeletions_.begin(), pendingDeletions_.end());
        unsaved = deletionsUnsaved_;
    }
    if (pending.empty()) return;
    if (unsaved) {
        std::lock_guard save(saveMutex_);
        if (saveListAndDeletions()) {
            scheduleDeletionRetry();
            return;
        }
        std::lock_guard lock(listMutex_);
        deletionsUnsaved_ = false;
    }
    deleteKeys(pending);
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

// Said at each change from the keyring to the key file.
void KeychainDeviceStore::noteUnreachable(const std::string& detail) {
    if (reportedUnreachable_.exchange(true)) return;
    Log::notice(storeLogCategory, "Secret Service unreachable, device keys fall back to the key file: " + detail);
}

void KeychainDeviceStore::noteReachable() {
    reportedUnreachable_ = false;
}

void KeychainDeviceStore::noteLocked() {
    noteReachable();
    keyringLocked_ = true;
    if (!reportedLocked_.exchange(true)) Log::notice(storeLogCategory, lockedNotice);
}

void KeychainDeviceStore::noteReadable() {
    noteReachable();
    keyringLocked_ = false;
    reportedLocked_ = false;
}

} // namespace orvik::helper
