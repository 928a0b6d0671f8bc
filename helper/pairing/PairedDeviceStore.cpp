#include "pairing/PairedDeviceStore.hpp"

#include "orvik/protocol/crypto/OrvikKeys.hpp"

namespace orvik::helper {

std::optional<Bytes> PairedDeviceStore::key(const Uuid& deviceID) {
    auto lookup = lookupKey(deviceID);
    if (lookup.status != KeyLookup::Status::found) return std::nullopt;
    return std::move(lookup.key);
}

std::optional<PairedDevice> PairedDeviceStore::device(const Uuid& deviceID) const {
    for (auto& listed : devices()) {
        if (listed.id == deviceID) return std::move(listed);
    }
    return std::nullopt;
}

void PairedDeviceStore::setKeysChangedHandler(std::function<void()>) {}

void PairedDeviceStore::flush() {}

bool PairedDeviceStore::keysLoaded() const {
    return true;
}

void PairedDeviceStore::lookupKeyAsync(const Uuid& deviceID, std::function<void(KeyLookup)> done) {
    done(lookupKey(deviceID));
}

void PairedDeviceStore::addAsync(const PairedDevice& device, Bytes key,
                                 std::function<void(std::optional<std::string>)> done) {
    std::optional<std::string> failure;
    try {
        add(device, key);
    } catch (const std::exception& error) {
        failure = error.what();
    }
    done(std::move(failure));
}

std::vector<PreSharedKey> PairedDeviceStore::sessionKeys() {
    std::vector<PreSharedKey> keys;
    for (const auto& device : devices()) {
        auto deviceKey = key(device.id);
        if (!deviceKey) continue;
        keys.push_back({OrvikKeys::sessionPSK(*deviceKey, device.id), OrvikKeys::sessionIdentity(device.id)});
    }
    return keys;
}

} // namespace orvik::helper
