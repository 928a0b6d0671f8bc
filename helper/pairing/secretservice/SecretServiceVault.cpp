#include "pairing/secretservice/SecretServiceVault.hpp"

// The item-path calls, unstable by libsecret's word since 2012 but unchanged since, read every key in two calls
// instead of one proxy per item: ten times faster with a thousand devices.
#define SECRET_API_SUBJECT_TO_CHANGE 1
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

Bytes bytesOf(SecretValue* value) {
    gsize length = 0;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(secret_value_get(value, &length));
    return Bytes(bytes, bytes + length);
}

std::optional<Bytes> secretOf(SecretItem* item) {
    ValuePtr value(secret_item_get_secret(item));
    if (!value) return std::nullopt;
    return bytesOf(value.get());
}

struct VariantUnref {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

struct StringsFree {
    void operator()(gchar** strings) const { g_strfreev(strings); }
};
using Strings = std::unique_ptr<gchar*, StringsFree>;

// The device an item belongs to: its account attribute, read as the item's D-Bus property.
std::optional<Uuid> accountAt(SecretService* service, const char* itemPath, const Deadline& deadline) {
    auto* proxy = G_DBUS_PROXY(service);
    VariantPtr reply(g_dbus_connection_call_sync(
        g_dbus_proxy_get_connection(proxy), g_dbus_proxy_get_name(proxy), itemPath, "org.freedesktop.DBus.Properties",
        "Get", g_variant_new("(ss)", "org.freedesktop.Secret.Item", "Attributes"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, -1, deadline.cancellable(), nullptr));
    if (!reply) return std::nullopt;
    GVariant* boxed = nullptr;
    g_variant_get(reply.get(), "(v)", &boxed);
    VariantPtr attributes(boxed);
    const char* account = nullptr;
    if (!g_variant_is_of_type(attributes.get(), G_VARIANT_TYPE("a{ss}")) ||
        !g_variant_lookup(attributes.get(), accountAttribute, "&s", &account)) {
        return std::nullopt;
    }
    return Uuid::parse(account);
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

    GError* rawError = nullptr;
    gchar** rawUnlocked = nullptr;
    gchar** rawLocked = nullptr;
    auto attributes = attributesOf(std::nullopt);
    bool searched =
        secret_service_search_for_dbus_paths_sync(service.get(), deviceKeySchema(), attributes.get(),
                                                  deadline.cancellable(), &rawUnlocked, &rawLocked, &rawError);
    ErrorPtr error(rawError);
    Strings unlocked(rawUnlocked);
    Strings locked(rawLocked);
    if (!searched) {
        auto failed = failure(deadline, error.get());
        return {failed.status, {}, failed.detail};
    }
    VaultContents contents{VaultResult::Status::ok, {}, {}};
    if (locked && locked.get()[0] != nullptr) {
        contents.status = VaultResult::Status::failed;
        contents.detail = "the keyring holding the key is locked";
    }
    if (!unlocked || unlocked.get()[0] == nullptr) return contents;

    // Every secret in one call, by item path.
    GHashTable* rawSecrets = secret_service_get_secrets_for_dbus_paths_sync(
        service.get(), const_cast<const gchar**>(unlocked.get()), deadline.cancellable(), &rawError);
    error.reset(rawError);
    if (!rawSecrets) {
        auto failed = failure(deadline, error.get());
        return {failed.status, {}, failed.detail};
    }
    std::unique_ptr<GHashTable, HashTableUnref> secrets(rawSecrets);
    for (gchar** path = unlocked.get(); *path != nullptr; ++path) {
        auto* value = static_cast<SecretValue*>(g_hash_table_lookup(secrets.get(), *path));
        if (!value) continue;
        auto deviceID = accountAt(service.get(), *path, deadline);
        if (deadline.expired()) return {VaultResult::Status::failed, {}, "no answer in time"};
        if (deviceID) contents.keys.emplace(*deviceID, bytesOf(value));
    }
    return contents;
}

} // namespace orvik::helper
