#pragma once

#include "pairing/DeviceKeyVault.hpp"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace orvik::helper {

namespace secretservice {
class Deadline;
class ServiceConnection;
} // namespace secretservice

// Device keys in the desktop keyring through the Secret Service (libsecret): one item per device with the
// attributes service = "Orvik Helper device keys" and account = the device UUID's upper-case text, the label
// given by the caller, and the key bytes as a binary secret, in the default collection.
//
// Never prompts: items of a locked collection are not unlocked (a read or removal of one answers locked, as does a
// write to a locked default collection, and any answer of "no item" while the default collection is locked),
// since unlocking is the desktop's business, not the server thread's. watchUnlocking hears the unlock.
//
// Time-bounded: each operation runs synchronous calls with one GCancellable that a watchdog thread cancels once
// `timeout` has passed, so a hung or slow daemon costs at most that long. (The synchronous calls with a cancellable
// were chosen over the asynchronous API because they need no main loop of ours; GLib's cancellation is thread-safe
// and ends a pending D-Bus call at once.)
//
// One connection for every operation: libsecret's shared service connection with its session, and the default
// collection's path, read once. Items are reached by object path, never through item or collection objects, so
// nothing grows with the number of items. A call that fails otherwise than by the time running out drops the
// connection and the operation is tried once more on a new one, within the same time: a keyring killed while the
// helper runs is started again by the session bus, which knows nothing of the old session. Thread-safe.
class SecretServiceVault final : public DeviceKeyVault {
public:
    static constexpr const char* service = "Orvik Helper device keys";
    static constexpr const char* schemaName = "org.orvik.Helper.DeviceKey";
    static constexpr std::chrono::milliseconds defaultTimeout{2000};
    // Reading every key at once takes longer with many devices; it runs off the server thread.
    static constexpr std::chrono::milliseconds defaultReadAllTimeout{30000};

    explicit SecretServiceVault(std::chrono::milliseconds timeout = defaultTimeout,
                                std::chrono::milliseconds readAllTimeout = defaultReadAllTimeout);

    VaultResult read(const Uuid& deviceID) override;
    VaultResult write(const Uuid& deviceID, const std::string& label, ByteView key) override;
    VaultResult remove(const Uuid& deviceID) override;
    // One search for every item of the service, one call for all their secrets, then each item's account. Items of
    // a locked collection are left out and make the status locked; the keys that could be read are returned all the
    // same.
    VaultContents readAll() override;
    // Follows the Secret Service's signals on the session bus (see KeyringUnlockWatch).
    std::unique_ptr<VaultWatch> watchUnlocking(std::function<void()> changed) override;

private:
    using Connection = std::shared_ptr<secretservice::ServiceConnection>;

    // Runs `operation` over the held connection, and once more over a new one when a call of it failed.
    template <class Result, class Operation>
    Result withConnection(const secretservice::Deadline& deadline, Operation operation);
    Connection connection(const secretservice::Deadline& deadline);
    void forget(const Connection& failed);
    // The default collection's path, read once per connection; absent when there is none.
    std::optional<std::string> defaultCollection(const Connection& connection, const secretservice::Deadline& deadline);
    bool defaultCollectionIsLocked(const Connection& connection, const secretservice::Deadline& deadline);

    std::chrono::milliseconds timeout_;
    std::chrono::milliseconds readAllTimeout_;

    std::mutex mutex_;
    Connection held_;
    std::optional<std::string> collectionPath_; // of held_, once read
};

} // namespace orvik::helper
