#include "pairing/DeviceKeys.hpp"

#include "core/Log.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"

#include <asio/post.hpp>

#include <algorithm>
#include <utility>

namespace orvik::helper {
namespace {

constexpr const char* keysLogCategory = "DeviceStore";
constexpr const char* lockedNotice = "Device keys wait for an unlock: the keyring is locked";

} // namespace

DeviceKeys::DeviceKeys(std::shared_ptr<DeviceKeyVault> keyring, std::shared_ptr<KeyFileVault> keyFile,
                       const SavedDeviceList& list, asio::any_io_executor loader)
    : keyring_(std::move(keyring)), keyFile_(std::move(keyFile)), list_(list), loader_(std::move(loader)) {
    keysLoaded_ = list_.devices().empty();
}

void DeviceKeys::watchUnlocking(std::function<void()> heard) {
    unlockWatch_ = keyring_->watchUnlocking(std::move(heard));
}

// Lookups.

KeyLookup DeviceKeys::lookup(const Uuid& deviceID) {
    // A key left behind by a removed device makes nobody paired.
    if (!list_.contains(deviceID)) return KeyLookup::notFound();
    std::uint64_t epoch = 0;
    CacheEntry cached;
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

KeyLookup DeviceKeys::missingKey(const Uuid& deviceID) const {
    if (keyFile_->isUnreadable() && list_.contains(deviceID)) return KeyLookup::unavailable();
    return KeyLookup::notFound();
}

// The file first: a migration writes the keyring before it deletes from the file, so a key moving between the
// two is always seen in one of them.
KeyLookup DeviceKeys::readKey(const Uuid& deviceID) {
    auto inFile = keyFile_->read(deviceID);
    if (inFile.status == VaultResult::Status::ok) return KeyLookup::found(std::move(inFile.key));

    auto inKeyring = keyring_->read(deviceID);
    switch (inKeyring.status) {
    case VaultResult::Status::ok: noteReadable(); return KeyLookup::found(std::move(inKeyring.key));
    case VaultResult::Status::notFound: noteReadable(); return missingKey(deviceID);
    case VaultResult::Status::locked: noteLocked(); return KeyLookup::unavailable();
    case VaultResult::Status::unreachable: noteUnreachable(inKeyring.detail); break;
    case VaultResult::Status::failed: break;
    }
    Log::error(keysLogCategory, "Keychain read failed: " + inKeyring.detail);
    return KeyLookup::unavailable();
}

std::vector<PreSharedKey> DeviceKeys::sessionKeys() {
    auto listed = list_.devices();
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

bool DeviceKeys::keysKnown() const {
    auto listed = list_.devices();
    auto inFile = keyFile_->entries();
    std::lock_guard lock(cacheMutex_);
    return std::all_of(listed.begin(), listed.end(), [&](const PairedDevice& device) {
        return cache_.contains(device.id) || inFile.contains(device.id);
    });
}

void DeviceKeys::setKeysChangedHandler(std::function<void()> handler) {
    std::lock_guard lock(handlerMutex_);
    keysChanged_ = std::move(handler);
}

bool DeviceKeys::keysLoaded() const {
    auto loaded = [this] { return keysLoaded_ && (!keyringLocked_ || keysKnown()); };
    if (loaded()) return true;
    loadAwaited_ = true;
    // Asked again: the load may have ended before it could see the flag.
    return loaded();
}

void DeviceKeys::notifyKeysChanged() {
    std::function<void()> handler;
    {
        std::lock_guard lock(handlerMutex_);
        handler = keysChanged_;
    }
    if (handler) handler();
}

// Loading and moving.

void DeviceKeys::requestKeyLoad() {
    if (keyLoadRequested_.exchange(true)) return;
    asio::post(loader_, [this] {
        if (stopping_) return;
        loadKeys();
        migrateKeyFile();
    });
}

// Every keyring key at once; each listed device without a cache entry learns its key (the file's first).
void DeviceKeys::loadKeys() {
    if (list_.devices().empty()) {
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
    case VaultResult::Status::failed: Log::error(keysLogCategory, "Keychain read failed: " + found.detail); break;
    }
    auto listed = list_.devices();
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

// Devices listed without a key cannot connect: each is named once, with what would let it.
void DeviceKeys::reportKeyless(const std::vector<PairedDevice>& devices, VaultResult::Status keyringStatus) {
    if (keyringStatus != VaultResult::Status::ok && keyringStatus != VaultResult::Status::unreachable) return;
    for (const auto& device : devices) {
        if (!reportedKeyless_.insert(device.id).second) continue;
        if (keyFile_->isUnreadable()) {
            Log::error(keysLogCategory, "The paired device " + device.nameAndID() +
                                            " cannot connect until the key file can be read; its key is not in "
                                            "the keyring: " +
                                            keyFile_->path().string());
        } else if (keyringStatus == VaultResult::Status::ok) {
            Log::error(keysLogCategory,
                       "No key found for the paired device " + device.nameAndID() + "; it has to pair again");
        } else {
            Log::error(keysLogCategory, "The key of the paired device " + device.nameAndID() +
                                            " is not in the key file, and the keyring cannot be reached");
        }
    }
}

void DeviceKeys::requestMigration() {
    if (migrationRequested_.exchange(true)) return;
    asio::post(loader_, [this] {
        migrationRequested_ = false;
        if (!stopping_) migrateKeyFile();
    });
}

void DeviceKeys::migrateKeyFile() {
    auto pending = keyFile_->entries();
    if (pending.empty()) return;
    std::map<Uuid, Bytes> moved;
    for (const auto& [id, key] : pending) {
        if (stopping_) break;
        auto change = holdChanges();
        // An add or remove since the listing has dealt with this key already.
        auto current = keyFile_->read(id);
        if (current.status != VaultResult::Status::ok || current.key != key) continue;
        auto listed = list_.device(id);
        auto written = keyring_->write(id, labelPrefix + (listed ? listed->name : id.text()), key);
        if (written.status == VaultResult::Status::unreachable) noteUnreachable(written.detail);
        if (written.status != VaultResult::Status::ok) break;
        moved.emplace(id, key);
    }
    if (moved.empty()) return;
    auto change = holdChanges();
    if (auto removed = keyFile_->removeUnchanged(moved); removed.status != VaultResult::Status::ok) {
        Log::error(keysLogCategory, "Key file delete failed: " + removed.detail);
        return;
    }
    Log::notice(keysLogCategory,
                "Moved device keys from the key file to the keychain: " + std::to_string(moved.size()));
}

// Changes.

DeviceKeys::Vault DeviceKeys::write(const PairedDevice& device, ByteView key) {
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

void DeviceKeys::storeInKeyFile(const Uuid& deviceID, ByteView key, const std::string& reason) {
    auto stored = keyFile_->write(deviceID, {}, key);
    if (stored.status != VaultResult::Status::ok) {
        throw StoreError("Keychain write failed: " + reason + "; " + stored.detail);
    }
}

void DeviceKeys::takeBack(const Uuid& deviceID, Vault written) {
    auto removed = written == Vault::keyring ? keyring_->remove(deviceID) : keyFile_->remove(deviceID);
    if (removed.status != VaultResult::Status::ok) {
        Log::error(keysLogCategory, "Taking back the key of a device that was not stored failed: " + removed.detail);
    }
}

DeviceKeys::Deletion DeviceKeys::deleteKey(const Uuid& deviceID, DeletionAttempt attempt) {
    auto fromKeyring = keyring_->remove(deviceID);
    auto fromFile = keyFile_->remove(deviceID);
    const bool firstFailure = !reportedDeletionFailures_.contains(deviceID);
    switch (fromKeyring.status) {
    case VaultResult::Status::ok: noteReadable(); break;
    case VaultResult::Status::locked: noteLocked(); break;
    case VaultResult::Status::unreachable:
        // No fault: the key waits for a keyring, and the starts that find none yet have nothing new to say.
        if (attempt == DeletionAttempt::removal && firstFailure) {
            Log::notice(keysLogCategory,
                        "Keychain delete put off until a keyring can be reached: " + fromKeyring.detail);
        }
        break;
    case VaultResult::Status::notFound:
    case VaultResult::Status::failed:
        if (firstFailure) Log::error(keysLogCategory, "Keychain delete failed: " + fromKeyring.detail);
        break;
    }
    if (fromFile.status != VaultResult::Status::ok && firstFailure) {
        Log::error(keysLogCategory, "Key file delete failed: " + fromFile.detail);
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

// The cache's changes advance its epoch: a key load under way then knows its answer may be stale.

DeviceKeys::CacheEntry DeviceKeys::cacheAdded(const Uuid& deviceID, ByteView key) {
    std::lock_guard lock(cacheMutex_);
    CacheEntry before;
    if (auto cached = cache_.find(deviceID); cached != cache_.end()) before = cached->second;
    cache_[deviceID] = Bytes(key.begin(), key.end());
    ++cacheEpoch_;
    return before;
}

void DeviceKeys::restoreCache(const Uuid& deviceID, CacheEntry before) {
    std::lock_guard lock(cacheMutex_);
    if (before) {
        cache_[deviceID] = std::move(*before);
    } else {
        cache_.erase(deviceID);
    }
    ++cacheEpoch_;
}

void DeviceKeys::forget(const Uuid& deviceID) {
    std::lock_guard lock(cacheMutex_);
    cache_.erase(deviceID);
    ++cacheEpoch_;
}

// What the vaults said.

// Said at each change from the keyring to the key file.
void DeviceKeys::noteUnreachable(const std::string& detail) {
    if (reportedUnreachable_.exchange(true)) return;
    Log::notice(keysLogCategory, "Secret Service unreachable, device keys fall back to the key file: " + detail);
}

void DeviceKeys::noteReachable() {
    reportedUnreachable_ = false;
}

void DeviceKeys::noteLocked() {
    noteReachable();
    keyringLocked_ = true;
    if (!reportedLocked_.exchange(true)) Log::notice(keysLogCategory, lockedNotice);
}

void DeviceKeys::noteReadable() {
    noteReachable();
    keyringLocked_ = false;
    reportedLocked_ = false;
}

} // namespace orvik::helper
