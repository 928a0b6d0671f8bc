#pragma once

#include "core/Date.hpp"
#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/coding/Uuid.hpp"
#include "orvik/protocol/crypto/PreSharedKey.hpp"
#include "pairing/PairedDevice.hpp"

#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

namespace orvik::helper {

// Thrown by PairedDeviceStore::add when the device could not be stored; the store is then unchanged.
class DeviceStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The answer to a key lookup. `unavailable` means the key store could not be read (a locked or unreachable
// keyring): the device may well be paired, and asking again later may find the key.
struct KeyLookup {
    enum class Status { found, notFound, unavailable };

    Status status = Status::notFound;
    Bytes key;

    static KeyLookup found(Bytes key) { return {Status::found, std::move(key)}; }
    static KeyLookup notFound() { return {Status::notFound, {}}; }
    static KeyLookup unavailable() { return {Status::unavailable, {}}; }

    friend bool operator==(const KeyLookup&, const KeyLookup&) = default;
};

// The paired devices and their secret keys. Implementations may be called from any thread.
class PairedDeviceStore {
public:
    virtual ~PairedDeviceStore() = default;

    // The stored device records, in the store's order.
    virtual std::vector<PairedDevice> devices() const = 0;
    virtual KeyLookup lookupKey(const Uuid& deviceID) = 0;
    // Stores the device and its key together, or throws DeviceStoreError and changes nothing.
    virtual void add(const PairedDevice& device, ByteView key) = 0;
    virtual void remove(const Uuid& deviceID) = 0;
    // Sets the device's lastSeen; does nothing for an unknown device. devices() shows it at once; a store may
    // save it later (see flush).
    virtual void updateLastSeen(const Uuid& deviceID, Date at) = 0;

    // The record of one device; absent when it is not listed.
    virtual std::optional<PairedDevice> device(const Uuid& deviceID) const;
    // One TLS pre-shared key per listed device whose key is found, in device order: the session key derived
    // from the device key, under the device UUID's upper-case text. A store whose keys load in the background
    // returns the keys it holds already, without waiting, and tells the keys-changed handler when more arrived.
    virtual std::vector<PreSharedKey> sessionKeys();
    // Called, on any thread, whenever keys became known that sessionKeys() did not return before.
    virtual void setKeysChangedHandler(std::function<void()> handler);
    // False while the store still reads, at its start, the keys of the devices it lists: sessionKeys() may lack
    // some of them until then. A store that answered false calls the keys-changed handler when that read ends.
    virtual bool keysLoaded() const;
    // Saves now what the store keeps for a later save (lastSeen dates), and lets the asynchronous lookups and
    // additions under way end. Called when the application quits.
    virtual void flush();

    // lookupKey and add for a caller that must not wait for a vault (the server's thread): `done` is called once,
    // from any thread, with what they gave; for add, absent when the device was stored, else why it was not. Here
    // they run at once on the caller's thread; a store whose vault may be slow runs them on a thread of its own.
    virtual void lookupKeyAsync(const Uuid& deviceID, std::function<void(KeyLookup)> done);
    virtual void addAsync(const PairedDevice& device, Bytes key, std::function<void(std::optional<std::string>)> done);

    // The device's key; absent when it is not found or cannot be read now.
    std::optional<Bytes> key(const Uuid& deviceID);
};

} // namespace orvik::helper
