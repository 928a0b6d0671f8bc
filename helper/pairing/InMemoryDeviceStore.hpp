#pragma once

#include "pairing/PairedDeviceStore.hpp"

#include <map>
#include <mutex>

namespace orvik::helper {

// Devices and keys in memory only. Lists devices by pairedAt, earliest first; add never throws.
class InMemoryDeviceStore final : public PairedDeviceStore {
public:
    InMemoryDeviceStore() = default;

    std::vector<PairedDevice> devices() const override;
    KeyLookup lookupKey(const Uuid& deviceID) override;
    void add(const PairedDevice& device, ByteView key) override;
    void remove(const Uuid& deviceID) override;
    void updateLastSeen(const Uuid& deviceID, Date at) override;

private:
    struct Entry {
        PairedDevice device;
        Bytes key;
    };

    mutable std::mutex mutex_;
    std::map<Uuid, Entry> entries_;
};

} // namespace orvik::helper
