#include "pairing/secretservice/SecretServiceCalls.hpp"

#include "pairing/secretservice/SecretServiceVault.hpp"

namespace orvik::helper::secretservice {
namespace {

constexpr const char* serviceAttribute = "service";
constexpr const char* accountAttribute = "account";
// Set on the items made here, as libsecret does for a schema; never searched for (see search()).
constexpr const char* schemaAttribute = "xdg:schema";
constexpr const char* secretContentType = "application/octet-stream";
constexpr const char* itemInterface = "org.freedesktop.Secret.Item";
constexpr const char* collectionInterface = "org.freedesktop.Secret.Collection";
constexpr const char* noPrompt = "/";

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

struct HashTableUnref {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using HashTablePtr = std::unique_ptr<GHashTable, HashTableUnref>;

struct StringsFree {
    void operator()(gchar** strings) const { g_strfreev(strings); }
};
using Strings = std::unique_ptr<gchar*, StringsFree>;

struct ValueUnref {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using ValuePtr = std::unique_ptr<SecretValue, ValueUnref>;

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

CallFailure failure(const Deadline& deadline, const GError* error) {
    if (deadline.expired()) return {VaultResult::failed("no answer in time")};
    std::string message = error ? error->message : "unknown error";
    if (error && meansNoService(error)) return {VaultResult::unreachable(message)};
    return {VaultResult::failed(message)};
}

// The service attribute, and the account attribute when a device is given.
HashTablePtr attributesOf(const std::optional<Uuid>& deviceID) {
    HashTablePtr attributes(g_hash_table_new_full(g_str_hash, g_str_equal, nullptr, g_free));
    g_hash_table_insert(attributes.get(), const_cast<char*>(serviceAttribute), g_strdup(SecretServiceVault::service));
    if (deviceID) {
        g_hash_table_insert(attributes.get(), const_cast<char*>(accountAttribute), g_strdup(deviceID->text().c_str()));
    }
    return attributes;
}

std::vector<std::string> pathsOf(gchar** paths) {
    std::vector<std::string> list;
    for (gchar** path = paths; path != nullptr && *path != nullptr; ++path) list.emplace_back(*path);
    return list;
}

Bytes bytesOf(SecretValue* value) {
    gsize length = 0;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(secret_value_get(value, &length));
    return Bytes(bytes, bytes + length);
}

} // namespace

Deadline::Deadline(std::chrono::milliseconds timeout)
    : cancellable_(g_cancellable_new()), watchdog_([this, timeout] { watch(timeout); }) {}

Deadline::~Deadline() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    changed_.notify_one();
    watchdog_.join();
}

void Deadline::watch(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [this] { return finished_; })) g_cancellable_cancel(cancellable_.get());
}

std::shared_ptr<ServiceConnection> ServiceConnection::open(const Deadline& deadline) {
    GError* rawError = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, deadline.cancellable(), &rawError);
    ErrorPtr error(rawError);
    if (service) return std::make_shared<ServiceConnection>(GObjectPtr<SecretService>(service));
    if (deadline.expired()) throw CallFailure{VaultResult::failed("no answer in time")};
    throw CallFailure{VaultResult::unreachable(error ? error->message : "no Secret Service")};
}

void ServiceConnection::forgetShared() {
    secret_service_disconnect();
}

ServiceConnection::VariantPtr ServiceConnection::call(const std::string& path, const char* interface,
                                                      const char* method, GVariant* parameters,
                                                      const GVariantType* replyType, const Deadline& deadline) {
    auto* proxy = G_DBUS_PROXY(service_.get());
    GError* rawError = nullptr;
    // To the service's name, not to the owner the proxy saw last: a service restarted by the bus has a new owner.
    VariantPtr reply(g_dbus_connection_call_sync(g_dbus_proxy_get_connection(proxy), g_dbus_proxy_get_name(proxy),
                                                 path.c_str(), interface, method, parameters, replyType,
                                                 G_DBUS_CALL_FLAGS_NONE, -1, deadline.cancellable(), &rawError));
    ErrorPtr error(rawError);
    if (!reply) throw failure(deadline, error.get());
    return reply;
}

bool ServiceConnection::withoutPrompt(const char* promptPath, const Deadline& deadline) {
    if (std::string_view(promptPath) == noPrompt) return true;
    try {
        call(promptPath, "org.freedesktop.Secret.Prompt", "Dismiss", nullptr, nullptr, deadline);
    } catch (const CallFailure&) {
        // The prompt is the service's to clean up; it was never shown.
    }
    return false;
}

ItemPaths ServiceConnection::search(const std::optional<Uuid>& deviceID, const Deadline& deadline) {
    GError* rawError = nullptr;
    gchar** rawUnlocked = nullptr;
    gchar** rawLocked = nullptr;
    auto attributes = attributesOf(deviceID);
    // No schema, which would add its name to the attributes: a keyring loaded locked knows its items by their own
    // attributes only, so a search naming the schema finds nothing there, and a locked key would read as absent.
    bool searched = secret_service_search_for_dbus_paths_sync(
        service_.get(), nullptr, attributes.get(), deadline.cancellable(), &rawUnlocked, &rawLocked, &rawError);
    ErrorPtr error(rawError);
    Strings unlocked(rawUnlocked);
    Strings locked(rawLocked);
    if (!searched) throw failure(deadline, error.get());
    return {pathsOf(unlocked.get()), pathsOf(locked.get())};
}

std::map<std::string, Bytes> ServiceConnection::secrets(const std::vector<std::string>& itemPaths,
                                                        const Deadline& deadline) {
    std::map<std::string, Bytes> found;
    if (itemPaths.empty()) return found;
    std::vector<const gchar*> paths;
    paths.reserve(itemPaths.size() + 1);
    for (const auto& path : itemPaths) paths.push_back(path.c_str());
    paths.push_back(nullptr);
    GError* rawError = nullptr;
    HashTablePtr secrets(secret_service_get_secrets_for_dbus_paths_sync(service_.get(), paths.data(),
                                                                        deadline.cancellable(), &rawError));
    ErrorPtr error(rawError);
    if (!secrets) throw failure(deadline, error.get());
    for (const auto& path : itemPaths) {
        auto* value = static_cast<SecretValue*>(g_hash_table_lookup(secrets.get(), path.c_str()));
        if (value) found.emplace(path, bytesOf(value));
    }
    return found;
}

ServiceConnection::VariantPtr ServiceConnection::property(const std::string& path, const char* interface,
                                                          const char* name, const Deadline& deadline) {
    auto reply = call(path, "org.freedesktop.DBus.Properties", "Get", g_variant_new("(ss)", interface, name),
                      G_VARIANT_TYPE("(v)"), deadline);
    GVariant* boxed = nullptr;
    g_variant_get(reply.get(), "(v)", &boxed);
    return VariantPtr(boxed);
}

std::optional<Uuid> ServiceConnection::account(const std::string& itemPath, const Deadline& deadline) {
    auto attributes = property(itemPath, itemInterface, "Attributes", deadline);
    const char* account = nullptr;
    if (!g_variant_is_of_type(attributes.get(), G_VARIANT_TYPE("a{ss}")) ||
        !g_variant_lookup(attributes.get(), accountAttribute, "&s", &account)) {
        return std::nullopt;
    }
    return Uuid::parse(account);
}

std::optional<std::string> ServiceConnection::defaultCollection(const Deadline& deadline) {
    auto reply = call("/org/freedesktop/secrets", "org.freedesktop.Secret.Service", "ReadAlias",
                      g_variant_new("(s)", SECRET_COLLECTION_DEFAULT), G_VARIANT_TYPE("(o)"), deadline);
    const char* path = nullptr;
    g_variant_get(reply.get(), "(&o)", &path);
    if (std::string_view(path) == "/") return std::nullopt;
    return std::string(path);
}

bool ServiceConnection::isLocked(const std::string& collectionPath, const Deadline& deadline) {
    auto locked = property(collectionPath, collectionInterface, "Locked", deadline);
    return !g_variant_is_of_type(locked.get(), G_VARIANT_TYPE_BOOLEAN) || g_variant_get_boolean(locked.get());
}

bool ServiceConnection::createItem(const std::string& collectionPath, const Uuid& deviceID, const std::string& label,
                                   ByteView key, const Deadline& deadline) {
    ValuePtr value(secret_value_new(reinterpret_cast<const gchar*>(key.data()), static_cast<gssize>(key.size()),
                                    secretContentType));
    GVariant* secret = secret_service_encode_dbus_secret(service_.get(), value.get());
    if (!secret) throw CallFailure{VaultResult::failed("no session with the Secret Service")};
    GVariantBuilder attributes;
    g_variant_builder_init(&attributes, G_VARIANT_TYPE("a{ss}"));
    g_variant_builder_add(&attributes, "{ss}", serviceAttribute, SecretServiceVault::service);
    g_variant_builder_add(&attributes, "{ss}", accountAttribute, deviceID.text().c_str());
    g_variant_builder_add(&attributes, "{ss}", schemaAttribute, SecretServiceVault::schemaName);
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&properties, "{sv}", "org.freedesktop.Secret.Item.Label",
                          g_variant_new_string(label.c_str()));
    g_variant_builder_add(&properties, "{sv}", "org.freedesktop.Secret.Item.Attributes",
                          g_variant_builder_end(&attributes));
    auto reply = call(collectionPath, collectionInterface, "CreateItem",
                      g_variant_new("(a{sv}@(oayays)b)", &properties, secret, TRUE), G_VARIANT_TYPE("(oo)"), deadline);
    const char* item = nullptr;
    const char* prompt = nullptr;
    g_variant_get(reply.get(), "(&o&o)", &item, &prompt);
    return withoutPrompt(prompt, deadline);
}

bool ServiceConnection::deleteItem(const std::string& itemPath, const Deadline& deadline) {
    auto reply = call(itemPath, itemInterface, "Delete", nullptr, G_VARIANT_TYPE("(o)"), deadline);
    const char* prompt = nullptr;
    g_variant_get(reply.get(), "(&o)", &prompt);
    return withoutPrompt(prompt, deadline);
}

} // namespace orvik::helper::secretservice
