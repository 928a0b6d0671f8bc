#include "pairing/InMemoryDeviceStore.hpp"

#include <algorithm>

namespace orvik::helper {

std::vector<PairedDevice> InMemoryDeviceStore::devices() const {
    std::lock_guard lock(mutex_);
    std::vector<PairedDevice> devices;
    devices.reserve(entries_.size());
    for (const auto& [id, entry] : entries_) devices.push_back(entry.device);
    std::stable_sort(devices.begin(), devices.end(),
                     [](const PairedDevice& a, const PairedDevice& b) { return a.pairedAt < b.pairedAt; });
    return devices;
}

KeyLookup InMemoryDeviceStore::lookupKey(const Uuid& deviceID) {
    std::lock_guard lock(mutex_);
    auto found = entries_.find(deviceID);
    if (found == entries_.end()) return KeyLookup::notFound();
    return KeyLookup::found(found->second.key);
}

void InMemoryDeviceStore::add(const PairedDevice& device, ByteView key) {
    std::lock_guard lock(mutex_);
    entries_.insert_or_assign(device.id, Entry{device, Bytes(key.begin(), key.end())});
}

void InMemoryDeviceStore::remove(const Uuid& deviceID) {
    std::lock_guard lock(mutex_);
    entries_.erase(deviceID);
}

void InMemoryDeviceStore::updateLastSeen(const Uuid& deviceID, Date at) {
    std::lock_guard lock(mutex_);
    auto found = entries_.find(deviceID);
    if (found != entries_.end()) found->second.device.lastSeen = at;
}

} // namespace orvik::helper
