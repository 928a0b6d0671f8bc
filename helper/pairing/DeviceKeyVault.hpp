#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/coding/Uuid.hpp"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace orvik::helper {

// The outcome of one vault operation.
struct VaultResult {
    enum class Status {
        ok,          // done; for a read, `key` holds the key
        notFound,    // a read found no key for the device
        unreachable, // there is no vault to talk to (no Secret Service on the bus, no default keyring)
        locked,      // the key, or where it would be, is locked: whether there is one is unknown until an unlock
        failed,      // the vault answered with an error or did not answer in time
    };

    Status status = Status::failed;
    Bytes key;
    std::string detail; // what went wrong, for the log

    static VaultResult ok(Bytes key = {}) { return {Status::ok, std::move(key), {}}; }
    static VaultResult notFound() { return {Status::notFound, {}, {}}; }
    static VaultResult unreachable(std::string detail) { return {Status::unreachable, {}, std::move(detail)}; }
    static VaultResult locked(std::string detail) { return {Status::locked, {}, std::move(detail)}; }
    static VaultResult failed(std::string detail) { return {Status::failed, {}, std::move(detail)}; }
};

// The outcome of reading every key at once: with status ok, `keys` holds them all.
struct VaultContents {
    VaultResult::Status status = VaultResult::Status::failed;
    std::map<Uuid, Bytes> keys;
    std::string detail;
};

// Ends a watch of a vault when destroyed.
class VaultWatch {
public:
    virtual ~VaultWatch() = default;
};

// Where device keys are kept, one secret per device UUID. Operations never prompt the user and return within a
// bounded time.
class DeviceKeyVault {
public:
    virtual ~DeviceKeyVault() = default;

    virtual VaultResult read(const Uuid& deviceID) = 0;
    // Stores or replaces the device's key; `label` names the item for people browsing the vault.
    virtual VaultResult write(const Uuid& deviceID, const std::string& label, ByteView key) = 0;
    // Deletes the device's key; ok also when there was none, which only an answer that could see the key gives
    // (never one from a locked vault).
    virtual VaultResult remove(const Uuid& deviceID) = 0;
    // Every key of every device, read together rather than device by device.
    virtual VaultContents readAll() = 0;
    // Calls `changed`, on any thread and without waiting for anything, whenever what the vault holds may have
    // become readable (a keyring unlocked), until the watch returned is destroyed; none from a vault that never
    // locks. May itself wait for the vault as long as an operation does.
    virtual std::unique_ptr<VaultWatch> watchUnlocking(std::function<void()> /*changed*/) { return nullptr; }
};

} // namespace orvik::helper
