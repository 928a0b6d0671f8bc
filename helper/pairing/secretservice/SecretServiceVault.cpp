#include "pairing/secretservice/SecretServiceVault.hpp"

#include "pairing/secretservice/KeyringUnlockWatch.hpp"
#include "pairing/secretservice/SecretServiceCalls.hpp"

#include <type_traits>

namespace orvik::helper {

using secretservice::CallFailure;
using secretservice::Deadline;

namespace {

constexpr const char* lockedItem = "the keyring holding the key is locked";
constexpr const char* lockedKeyring = "the default keyring is locked";

VaultContents contentsOf(const VaultResult& result) {
    return {result.status, {}, result.detail};
}

} // namespace

SecretServiceVault::SecretServiceVault(std::chrono::milliseconds timeout, std::chrono::milliseconds readAllTimeout)
    : timeout_(timeout), readAllTimeout_(readAllTimeout) {}

SecretServiceVault::Connection SecretServiceVault::connection(const Deadline& deadline) {
    {
        std::lock_guard lock(mutex_);
        if (held_) return held_;
    }
    auto opened = secretservice::ServiceConnection::open(deadline);
    std::lock_guard lock(mutex_);
    if (!held_) {
        held_ = opened;
        collectionPath_.reset();
    }
    return held_;
}

void SecretServiceVault::forget(const Connection& failed) {
    std::lock_guard lock(mutex_);
    // Another operation may have found a new connection already.
    if (held_ != failed) return;
    held_.reset();
    collectionPath_.reset();
    secretservice::ServiceConnection::forgetShared();
}

std::optional<std::string> SecretServiceVault::defaultCollection(const Connection& connection,
                                                                 const Deadline& deadline) {
    {
        std::lock_guard lock(mutex_);
        if (held_ == connection && collectionPath_) return collectionPath_;
    }
    auto path = connection->defaultCollection(deadline);
    std::lock_guard lock(mutex_);
    if (held_ == connection && path) collectionPath_ = path;
    return path;
}

template <class Result, class Operation>
Result SecretServiceVault::withConnection(const Deadline& deadline, Operation operation) {
    VaultResult failed;
    for (int attempt = 0; attempt < 2; ++attempt) {
        Connection current;
        try {
            current = connection(deadline);
            return operation(current);
        } catch (const CallFailure& failure) {
            failed = failure.result;
        }
        if (deadline.expired()) break;
        forget(current);
    }
    if constexpr (std::is_same_v<Result, VaultContents>) {
        return contentsOf(failed);
    } else {
        return failed;
    }
}

bool SecretServiceVault::defaultCollectionIsLocked(const Connection& connection, const Deadline& deadline) {
    auto collection = defaultCollection(connection, deadline);
    return collection && connection->isLocked(*collection, deadline);
}

VaultResult SecretServiceVault::read(const Uuid& deviceID) {
    Deadline deadline(timeout_);
    return withConnection<VaultResult>(deadline, [&](const Connection& connection) {
        auto found = connection->search(deviceID, deadline);
        if (found.unlocked.empty() && found.locked.empty()) {
            // A locked keyring may keep its items out of every search: there, nothing found says nothing.
            if (defaultCollectionIsLocked(connection, deadline)) return VaultResult::locked(lockedKeyring);
            return VaultResult::notFound();
        }
        // Without unlocking, locked items stay locked: no unlock prompt can appear.
        if (found.unlocked.empty()) return VaultResult::locked(lockedItem);
        auto secrets = connection->secrets(found.unlocked, deadline);
        if (secrets.empty()) return VaultResult::failed("the key could not be loaded");
        return VaultResult::ok(std::move(secrets.begin()->second));
    });
}

VaultResult SecretServiceVault::write(const Uuid& deviceID, const std::string& label, ByteView key) {
    Deadline deadline(timeout_);
    return withConnection<VaultResult>(deadline, [&](const Connection& connection) {
        auto collection = defaultCollection(connection, deadline);
        if (!collection) return VaultResult::unreachable("the keyring has no default collection");
        // Storing into a locked collection would ask the user to unlock it.
        if (connection->isLocked(*collection, deadline) ||
            !connection->createItem(*collection, deviceID, label, key, deadline)) {
            return VaultResult::locked(lockedKeyring);
        }
        return VaultResult::ok();
    });
}

VaultResult SecretServiceVault::remove(const Uuid& deviceID) {
    Deadline deadline(timeout_);
    return withConnection<VaultResult>(deadline, [&](const Connection& connection) {
        auto found = connection->search(deviceID, deadline);
        if (found.unlocked.empty() && found.locked.empty() && defaultCollectionIsLocked(connection, deadline)) {
            return VaultResult::locked(lockedKeyring);
        }
        VaultResult outcome = found.locked.empty() ? VaultResult::ok() : VaultResult::locked(lockedItem);
        for (const auto& item : found.unlocked) {
            if (!connection->deleteItem(item, deadline)) outcome = VaultResult::locked(lockedItem);
        }
        return outcome;
    });
}

VaultContents SecretServiceVault::readAll() {
    Deadline deadline(readAllTimeout_);
    return withConnection<VaultContents>(deadline, [&](const Connection& connection) {
        auto found = connection->search(std::nullopt, deadline);
        VaultContents contents{VaultResult::Status::ok, {}, {}};
        if (!found.locked.empty()) {
            contents.status = VaultResult::Status::locked;
            contents.detail = lockedItem;
        } else if (found.unlocked.empty() && defaultCollectionIsLocked(connection, deadline)) {
            contents.status = VaultResult::Status::locked;
            contents.detail = lockedKeyring;
        }
        // Every secret in one call, then each item's account.
        for (auto& [path, key] : connection->secrets(found.unlocked, deadline)) {
            std::optional<Uuid> deviceID;
            try {
                deviceID = connection->account(path, deadline);
            } catch (const CallFailure&) {
                // An item deleted since the search is no key of ours; running out of time ends the reading.
                if (deadline.expired()) throw;
            }
            if (deviceID) contents.keys.emplace(*deviceID, std::move(key));
        }
        return contents;
    });
}

std::unique_ptr<VaultWatch> SecretServiceVault::watchUnlocking(std::function<void()> changed) {
    Deadline deadline(timeout_);
    return secretservice::KeyringUnlockWatch::start(std::move(changed), deadline);
}

} // namespace orvik::helper
