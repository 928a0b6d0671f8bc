#include "pairing/KeychainDeviceStore.hpp"

#include "core/Log.hpp"
#include "pairing/SecretServiceVault.hpp"

#include <algorithm>

namespace orvik::helper {
namespace {

constexpr const char* logCategory = "DeviceStore";

KeyLookup lookupFromCache(const std::optional<Bytes>& entry) {
    return entry ? KeyLookup::found(*entry) : KeyLookup::notFound();
}

} // namespace

KeychainDeviceStore::KeychainDeviceStore(std::shared_ptr<UserDefaults> defaults,
                                         std::shared_ptr<DeviceKeyVault> keyring, std::shared_ptr<KeyFileVault> keyFile)
    : defaults_(std::move(defaults)), keyring_(std::move(keyring)), keyFile_(std::move(keyFile)) {
    migrateKeyFile();
}

std::shared_ptr<KeychainDeviceStore> KeychainDeviceStore::standard(std::shared_ptr<UserDefaults> defaults) {
    return std::make_shared<KeychainDeviceStore>(std::move(defaults), std::make_shared<SecretServiceVault>(),
                                                 KeyFileVault::standard());
}

std::vector<PairedDevice> KeychainDeviceStore::loadMetadata() const {
    auto stored = defaults_->data(metadataKey);
    if (!stored) return {};
    return PairedDevice::decodeList(*stored).value_or(std::vector<PairedDevice>{});
}

void KeychainDeviceStore::saveMetadata(const std::vector<PairedDevice>& devices) {
    defaults_->setData(metadataKey, PairedDevice::encodeList(devices));
}

std::vector<PairedDevice> KeychainDeviceStore::devices() const {
    std::lock_guard lock(listMutex_);
    return loadMetadata();
}

bool KeychainDeviceStore::isListed(const Uuid& deviceID) const {
    auto devices = loadMetadata();
    return std::any_of(devices.begin(), devices.end(),
                       [&](const PairedDevice& device) { return device.id == deviceID; });
}

KeyLookup KeychainDeviceStore::lookupKey(const Uuid& deviceID) {
    std::uint64_t epoch = 0;
    {
        std::lock_guard lock(cacheMutex_);
        if (auto cached = cache_.find(deviceID); cached != cache_.end()) return lookupFromCache(cached->second);
        epoch = cacheEpoch_;
    }
    KeyLookup result = readKey(deviceID);
    std::lock_guard lock(cacheMutex_);
    if (auto cached = cache_.find(deviceID); cached != cache_.end()) return lookupFromCache(cached->second);
    if (result.status != KeyLookup::Status::unavailable && epoch == cacheEpoch_) {
        cache_[deviceID] = result.status == KeyLookup::Status::found ? std::optional<Bytes>(result.key) : std::nullopt;
    }
    return result;
}

// The file first: a migration writes the keyring before it deletes from the file, so a key moving between the
// two is always seen in one of them.
KeyLookup KeychainDeviceStore::readKey(const Uuid& deviceID) {
    auto inFile = keyFile_->read(deviceID);
    if (inFile.status == VaultResult::Status::ok) return KeyLookup::found(std::move(inFile.key));

    auto inKeyring = keyring_->read(deviceID);
    switch (inKeyring.status) {
    case VaultResult::Status::ok: return KeyLookup::found(std::move(inKeyring.key));
    case VaultResult::Status::notFound: return KeyLookup::notFound();
    case VaultResult::Status::unreachable:
        noteUnreachable(inKeyring.detail);
        // With no keyring at all the file is the only vault; a device that is not listed is simply unknown.
        if (!isListed(deviceID)) return KeyLookup::notFound();
        Log::error(logCategory, "Keychain read failed: " + inKeyring.detail);
        return KeyLookup::unavailable();
    case VaultResult::Status::failed: break;
    }
    Log::error(logCategory, "Keychain read failed: " + inKeyring.detail);
    return KeyLookup::unavailable();
}

void KeychainDeviceStore::add(const PairedDevice& device, ByteView key) {
    std::lock_guard lock(listMutex_);
    auto written = keyring_->write(device.id, labelPrefix + device.name, key);
    switch (written.status) {
    case VaultResult::Status::ok:
        // A copy left in the file would shadow the new key.
        if (auto removed = keyFile_->remove(device.id); removed.status != VaultResult::Status::ok) {
            keyring_->remove(device.id);
            throw StoreError("Keychain write failed: " + removed.detail);
        }
        break;
    case VaultResult::Status::unreachable:
        noteUnreachable(written.detail);
        storeInKeyFile(device.id, key, written.detail);
        break;
    case VaultResult::Status::notFound:
    case VaultResult::Status::failed: throw StoreError("Keychain write failed: " + written.detail);
    }

    setCache(device.id, Bytes(key.begin(), key.end()));
    auto devices = loadMetadata();
    std::erase_if(devices, [&](const PairedDevice& listed) { return listed.id == device.id; });
    devices.push_back(device);
    saveMetadata(devices);
    if (written.status == VaultResult::Status::ok) migrateKeyFileLocked();
}

void KeychainDeviceStore::storeInKeyFile(const Uuid& deviceID, ByteView key, const std::string& reason) {
    auto stored = keyFile_->write(deviceID, {}, key);
    if (stored.status != VaultResult::Status::ok) {
        throw StoreError("Keychain write failed: " + reason + "; " + stored.detail);
    }
}

void KeychainDeviceStore::remove(const Uuid& deviceID) {
    std::lock_guard lock(listMutex_);
    // A key left behind grants nothing: the listener offers session keys of listed devices only.
    if (auto removed = keyring_->remove(deviceID); removed.status != VaultResult::Status::ok) {
        Log::error(logCategory, "Keychain delete failed: " + removed.detail);
    }
    if (auto removed = keyFile_->remove(deviceID); removed.status != VaultResult::Status::ok) {
        Log::error(logCategory, "Key file delete failed: " + removed.detail);
    }
    {
        std::lock_guard cacheLock(cacheMutex_);
        cache_.erase(deviceID);
        ++cacheEpoch_;
    }
    auto devices = loadMetadata();
    std::erase_if(devices, [&](const PairedDevice& listed) { return listed.id == deviceID; });
    saveMetadata(devices);
}

void KeychainDeviceStore::updateLastSeen(const Uuid& deviceID, Date at) {
    std::lock_guard lock(listMutex_);
    auto devices = loadMetadata();
    auto found =
        std::find_if(devices.begin(), devices.end(), [&](const PairedDevice& listed) { return listed.id == deviceID; });
    if (found == devices.end()) return;
    found->lastSeen = at;
    saveMetadata(devices);
}

void KeychainDeviceStore::migrateKeyFile() {
    std::lock_guard lock(listMutex_);
    migrateKeyFileLocked();
}

void KeychainDeviceStore::migrateKeyFileLocked() {
    auto pending = keyFile_->entries();
    if (pending.empty()) return;
    auto devices = loadMetadata();
    std::vector<Uuid> moved;
    for (const auto& entry : pending) {
        const Uuid& id = entry.first;
        auto listed = std::find_if(devices.begin(), devices.end(), [&](const PairedDevice& d) { return d.id == id; });
        std::string name = listed != devices.end() ? listed->name : id.text();
        auto written = keyring_->write(id, labelPrefix + name, entry.second);
        if (written.status == VaultResult::Status::unreachable) noteUnreachable(written.detail);
        if (written.status != VaultResult::Status::ok) break;
        moved.push_back(id);
    }
    if (moved.empty()) return;
    if (auto removed = keyFile_->remove(moved); removed.status != VaultResult::Status::ok) {
        Log::error(logCategory, "Key file delete failed: " + removed.detail);
        return;
    }
    Log::notice(logCategory, "Moved device keys from the key file to the keychain: " + std::to_string(moved.size()));
}

void KeychainDeviceStore::noteUnreachable(const std::string& detail) {
    if (reportedUnreachable_.exchange(true)) return;
    Log::notice(logCategory, "Secret Service unreachable, device keys fall back to the key file: " + detail);
}

void KeychainDeviceStore::setCache(const Uuid& deviceID, std::optional<Bytes> key) {
    std::lock_guard lock(cacheMutex_);
    cache_[deviceID] = std::move(key);
    ++cacheEpoch_;
}

} // namespace orvik::helper
