#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/coding/Uuid.hpp"

#include <map>
#include <string>

namespace orvik::helper {

// The outcome of one vault operation.
struct VaultResult {
    enum class Status {
        ok,          // done; for a read, `key` holds the key
        notFound,    // a read found no key for the device
        unreachable, // there is no vault to talk to (no Secret Service on the bus, no default keyring)
        failed,      // the vault answered with an error, is locked, or did not answer in time
    };

    Status status = Status::failed;
    Bytes key;
    std::string detail; // what went wrong, for the log

    static VaultResult ok(Bytes key = {}) { return {Status::ok, std::move(key), {}}; }
    static VaultResult notFound() { return {Status::notFound, {}, {}}; }
    static VaultResult unreachable(std::string detail) { return {Status::unreachable, {}, std::move(detail)}; }
    static VaultResult failed(std::string detail) { return {Status::failed, {}, std::move(detail)}; }
};

// The outcome of reading every key at once: with status ok, `keys` holds them all.
struct VaultContents {
    VaultResult::Status status = VaultResult::Status::failed;
    std::map<Uuid, Bytes> keys;
    std::string detail;
};

// Where device keys are kept, one secret per device UUID. Operations never prompt the user and return within a
// bounded time.
class DeviceKeyVault {
public:
    virtual ~DeviceKeyVault() = default;

    virtual VaultResult read(const Uuid& deviceID) = 0;
    // Stores or replaces the device's key; `label` names the item for people browsing the vault.
    virtual VaultResult write(const Uuid& deviceID, const std::string& label, ByteView key) = 0;
    // Deletes the device's key; ok also when there was none.
    virtual VaultResult remove(const Uuid& deviceID) = 0;
    // Every key of every device, read together rather than device by device.
    virtual VaultContents readAll() = 0;
};

} // namespace orvik::helper
