#include "pairing/SecretServiceVault.hpp"

#include <libsecret/secret.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>

namespace orvik::helper {
namespace {

constexpr const char* serviceAttribute = "service";
constexpr const char* accountAttribute = "account";
constexpr const char* secretContentType = "application/octet-stream";

const SecretSchema* deviceKeySchema() {
    static const SecretSchema* schema =
        secret_schema_new(SecretServiceVault::schemaName, SECRET_SCHEMA_NONE, serviceAttribute,
                          SECRET_SCHEMA_ATTRIBUTE_STRING, accountAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING, nullptr);
    return schema;
}

struct GObjectUnref {
    void operator()(gpointer object) const {
        if (object) g_object_unref(object);
    }
};
template <class T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

struct ItemListFree {
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using ItemList = std::unique_ptr<GList, ItemListFree>;

struct HashTableUnref {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using Attributes = std::unique_ptr<GHashTable, HashTableUnref>;

struct ValueUnref {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using ValuePtr = std::unique_ptr<SecretValue, ValueUnref>;

// Cancels the operation's GCancellable when the time is up, unless the operation ended first.
class Deadline {
public:
    Deadline(std::chrono::milliseconds timeout)
        : cancellable_(g_cancellable_new()), watchdog_([this, timeout] { watch(timeout); }) {}
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;
    ~Deadline() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        changed_.notify_one();
        watchdog_.join();
    }

    GCancellable* cancellable() const { return cancellable_.get(); }
    bool expired() const { return g_cancellable_is_cancelled(cancellable_.get()); }

private:
    void watch(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [this] { return finished_; })) g_cancellable_cancel(cancellable_.get());
    }

    GObjectPtr<GCancellable> cancellable_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool finished_ = false;
    std::thread watchdog_;
};

// The service attribute, and the account attribute when a device is given.
Attributes attributesOf(const std::optional<Uuid>& deviceID) {
    Attributes attributes(g_hash_table_new_full(g_str_hash, g_str_equal, nullptr, g_free));
    g_hash_table_insert(attributes.get(), const_cast<char*>(serviceAttribute), g_strdup(SecretServiceVault::service));
    if (deviceID) {
        g_hash_table_insert(attributes.get(), const_cast<char*>(accountAttribute), g_strdup(deviceID->text().c_str()));
    }
    return attributes;
}

std::optional<Uuid> accountOf(SecretItem* item) {
    Attributes attributes(secret_item_get_attributes(item));
    if (!attributes) return std::nullopt;
    const auto* account = static_cast<const char*>(g_hash_table_lookup(attributes.get(), accountAttribute));
    if (account == nullptr) return std::nullopt;
    return Uuid::parse(account);
}

std::optional<Bytes> secretOf(SecretItem* item) {
    ValuePtr value(secret_item_get_secret(item));
    if (!value) return std::nullopt;
    gsize length = 0;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(secret_value_get(value.get(), &length));
    return Bytes(bytes, bytes + length);
}

// Errors that say no Secret Service is there to answer. NoReply is the bus telling that the service left while
// the call was pending (a slow service is cut off by the deadline before the bus would time out), so a keyring
// that goes away while the helper runs is treated as one that was never there, as it is at start.
bool meansNoService(const GError* error) {
    if (error->domain != G_DBUS_ERROR) return false;
    switch (error->code) {
    case G_DBUS_ERROR_NO_REPLY:
    case G_DBUS_ERROR_DISCONNECTED:
    case G_DBUS_ERROR_SERVICE_UNKNOWN:
    case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
    case G_DBUS_ERROR_NO_SERVER:
    case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
    case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
    case G_DBUS_ERROR_SPAWN_FAILED:
    case G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND:
    case G_DBUS_ERROR_SPAWN_SERVICE_INVALID: return true;
    default: return false;
    }
}

VaultResult failure(const Deadline& deadline, const GError* error) {
    if (deadline.expired()) return VaultResult::failed("no answer in time");
    std::string message = error ? error->message : "unknown error";
    if (error && meansNoService(error)) return VaultResult::unreachable(message);
    return VaultResult::failed(message);
}

// The shared service connection with an open session. Any failure to get it means there is no service to use.
std::variant<SecretService*, VaultResult> connect(const Deadline& deadline) {
    GError* rawError = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, deadline.cancellable(), &rawError);
    ErrorPtr error(rawError);
    if (service) return service;
    if (deadline.expired()) return VaultResult::failed("no answer in time");
    return VaultResult::unreachable(error ? error->message : "no Secret Service");
}

std::variant<ItemList, VaultResult> search(SecretService* service, const std::optional<Uuid>& deviceID,
                                           SecretSearchFlags flags, const Deadline& deadline) {
    GError* rawError = nullptr;
    auto attributes = attributesOf(deviceID);
    ItemList items(secret_service_search_sync(service, deviceKeySchema(), attributes.get(), flags,
                                              deadline.cancellable(), &rawError));
    ErrorPtr error(rawError);
    if (error) return failure(deadline, error.get());
    return items;
}

} // namespace

SecretServiceVault::SecretServiceVault(std::chrono::milliseconds timeout, std::chrono::milliseconds readAllTimeout)
    : timeout_(timeout), readAllTimeout_(readAllTimeout) {}

VaultResult SecretServiceVault::read(const Uuid& deviceID) {
    Deadline deadline(timeout_);
    auto connected = connect(deadline);
    if (auto* result = std::get_if<VaultResult>(&connected)) return *result;
    GObjectPtr<SecretService> service(std::get<SecretService*>(connected));

    // Without SECRET_SEARCH_UNLOCK locked items are listed but left locked: no unlock prompt can appear.
    auto flags = static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS);
    auto found = search(service.get(), deviceID, flags, deadline);
    if (auto* result = std::get_if<VaultResult>(&found)) return *result;
    const auto& items = std::get<ItemList>(found);
    if (!items) return VaultResult::notFound();
    bool sawLocked = false;
    for (GList* entry = items.get(); entry != nullptr; entry = entry->next) {
        auto* item = static_cast<SecretItem*>(entry->data);
        if (secret_item_get_locked(item)) {
            sawLocked = true;
            continue;
        }
        if (auto key = secretOf(item)) return VaultResult::ok(std::move(*key));
    }
    return VaultResult::failed(sawLocked ? "the keyring holding the key is locked" : "the key could not be loaded");
}

VaultResult SecretServiceVault::write(const Uuid& deviceID, const std::string& label, ByteView key) {
    Deadline deadline(timeout_);
    auto connected = connect(deadline);
    if (auto* result = std::get_if<VaultResult>(&connected)) return *result;
    GObjectPtr<SecretService> service(std::get<SecretService*>(connected));

    GError* rawError = nullptr;
    GObjectPtr<SecretCollection> collection(secret_collection_for_alias_sync(
        service.get(), SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, deadline.cancellable(), &rawError));
    ErrorPtr error(rawError);
    if (error) return failure(deadline, error.get());
    if (!collection) return VaultResult::unreachable("the keyring has no default collection");
    // Storing into a locked collection would ask the user to unlock it.
    if (secret_collection_get_locked(collection.get())) return VaultResult::failed("the default keyring is locked");

    ValuePtr value(secret_value_new(reinterpret_cast<const gchar*>(key.data()), static_cast<gssize>(key.size()),
                                    secretContentType));
    auto attributes = attributesOf(deviceID);
    GObjectPtr<SecretItem> item(secret_item_create_sync(collection.get(), deviceKeySchema(), attributes.get(),
                                                        label.c_str(), value.get(), SECRET_ITEM_CREATE_REPLACE,
                                                        deadline.cancellable(), &rawError));
    error.reset(rawError);
    if (!item) return failure(deadline, error.get());
    return VaultResult::ok();
}

VaultResult SecretServiceVault::remove(const Uuid& deviceID) {
    Deadline deadline(timeout_);
    auto connected = connect(deadline);
    if (auto* result = std::get_if<VaultResult>(&connected)) return *result;
    GObjectPtr<SecretService> service(std::get<SecretService*>(connected));

    auto found = search(service.get(), deviceID, SECRET_SEARCH_ALL, deadline);
    if (auto* result = std::get_if<VaultResult>(&found)) return *result;
    VaultResult outcome = VaultResult::ok();
    for (GList* entry = std::get<ItemList>(found).get(); entry != nullptr; entry = entry->next) {
        auto* item = static_cast<SecretItem*>(entry->data);
        if (secret_item_get_locked(item)) {
            outcome = VaultResult::failed("the keyring holding the key is locked");
            continue;
        }
        GError* rawError = nullptr;
        bool deleted = secret_item_delete_sync(item, deadline.cancellable(), &rawError);
        ErrorPtr error(rawError);
        if (!deleted) outcome = failure(deadline, error.get());
    }
    return outcome;
}

VaultContents SecretServiceVault::readAll() {
    Deadline deadline(readAllTimeout_);
    auto connected = connect(deadline);
    if (auto* result = std::get_if<VaultResult>(&connected)) return {result->status, {}, result->detail};
    GObjectPtr<SecretService> service(std::get<SecretService*>(connected));

    auto flags = static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS);
    auto found = search(service.get(), std::nullopt, flags, deadline);
    if (auto* result = std::get_if<VaultResult>(&found)) return {result->status, {}, result->detail};
    VaultContents contents{VaultResult::Status::ok, {}, {}};
    for (GList* entry = std::get<ItemList>(found).get(); entry != nullptr; entry = entry->next) {
        auto* item = static_cast<SecretItem*>(entry->data);
        auto deviceID = accountOf(item);
        if (!deviceID) continue;
        if (secret_item_get_locked(item)) {
            contents.status = VaultResult::Status::failed;
            contents.detail = "the keyring holding the key is locked";
            continue;
        }
        if (auto key = secretOf(item)) contents.keys.emplace(*deviceID, std::move(*key));
    }
    return contents;
}

} // namespace orvik::helper
