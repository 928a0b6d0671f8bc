#include "pairing/secretservice/KeyringUnlockWatch.hpp"

#include <array>
#include <string_view>

namespace orvik::helper::secretservice {
namespace {

constexpr const char* watchedServiceInterface = "org.freedesktop.Secret.Service";
constexpr const char* watchedCollectionInterface = "org.freedesktop.Secret.Collection";
constexpr const char* watchedPropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr const char* busName = "org.freedesktop.DBus";
constexpr std::string_view watchedCollectionPaths = "/org/freedesktop/secrets/collection/";
constexpr std::string_view watchedServiceName = "org.freedesktop.secrets";
constexpr std::array<const char*, 3> matchRules{
    "type='signal',sender='org.freedesktop.secrets',interface='org.freedesktop.Secret.Service',"
    "member='CollectionChanged'",
    "type='signal',sender='org.freedesktop.secrets',interface='org.freedesktop.DBus.Properties',"
    "member='PropertiesChanged',arg0='org.freedesktop.Secret.Collection'",
    "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',member='NameOwnerChanged',"
    "arg0='org.freedesktop.secrets'",
};

bool is(const char* text, std::string_view expected) {
    return text != nullptr && expected == text;
}

// The bus saying that a daemon took the service's name: it may hold the keyring unlocked from its start, and then
// sends nothing else. Its leaving is not heard: the keys known meanwhile stay in use.
bool isANewOwner(GDBusMessage* message) {
    GVariant* body = g_dbus_message_get_body(message);
    if (!is(g_dbus_message_get_sender(message), busName) || body == nullptr ||
        !g_variant_is_of_type(body, G_VARIANT_TYPE("(sss)"))) {
        return false;
    }
    const char* name = nullptr;
    const char* newOwner = nullptr;
    g_variant_get(body, "(&s&s&s)", &name, nullptr, &newOwner);
    return is(name, watchedServiceName) && *newOwner != '\0';
}

bool mayFollowAnUnlock(GDBusMessage* message) {
    const char* interface = g_dbus_message_get_interface(message);
    const char* member = g_dbus_message_get_member(message);
    if (is(interface, watchedServiceInterface) && is(member, "CollectionChanged")) return true;
    if (is(interface, busName) && is(member, "NameOwnerChanged")) return isANewOwner(message);
    if (!is(interface, watchedPropertiesInterface) || !is(member, "PropertiesChanged")) return false;
    const char* path = g_dbus_message_get_path(message);
    GVariant* body = g_dbus_message_get_body(message);
    if (path == nullptr || !std::string_view(path).starts_with(watchedCollectionPaths) || body == nullptr ||
        !g_variant_is_of_type(body, G_VARIANT_TYPE("(sa{sv}as)"))) {
        return false;
    }
    const char* changedInterface = nullptr;
    g_variant_get_child(body, 0, "&s", &changedInterface);
    return is(changedInterface, watchedCollectionInterface);
}

// AddMatch or RemoveMatch with the rule, waiting for the answer; false without one.
bool askBus(GDBusConnection* bus, const char* method, const char* rule, GCancellable* cancellable) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", method, g_variant_new("(s)", rule), nullptr,
                                                  G_DBUS_CALL_FLAGS_NONE, -1, cancellable, &error);
    if (error) g_error_free(error);
    if (!reply) return false;
    g_variant_unref(reply);
    return true;
}

} // namespace

std::unique_ptr<KeyringUnlockWatch> KeyringUnlockWatch::start(std::function<void()> changed, const Deadline& deadline) {
    GError* error = nullptr;
    GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, deadline.cancellable(), &error));
    if (error) g_error_free(error);
    if (!bus) return nullptr;
    auto listener = std::make_shared<Listener>();
    listener->changed = std::move(changed);
    std::unique_ptr<KeyringUnlockWatch> watch(new KeyringUnlockWatch(std::move(bus), std::move(listener)));
    // The rules are in force before anything read afterwards on this connection reaches the service.
    for (const char* rule : matchRules) {
        if (!askBus(watch->bus_.get(), "AddMatch", rule, deadline.cancellable())) return nullptr;
    }
    return watch;
}

KeyringUnlockWatch::KeyringUnlockWatch(GObjectPtr<GDBusConnection> bus, std::shared_ptr<Listener> listener)
    : bus_(std::move(bus)), listener_(std::move(listener)) {
    filterID_ =
        g_dbus_connection_add_filter(bus_.get(), &KeyringUnlockWatch::filter, new std::shared_ptr<Listener>(listener_),
                                     [](gpointer data) { delete static_cast<std::shared_ptr<Listener>*>(data); });
}

KeyringUnlockWatch::~KeyringUnlockWatch() {
    {
        std::lock_guard lock(listener_->mutex);
        listener_->changed = nullptr;
    }
    g_dbus_connection_remove_filter(bus_.get(), filterID_);
    // Without waiting for an answer: a rule the bus still holds only sends a few signals nobody reads.
    for (const char* rule : matchRules) {
        g_dbus_connection_call(bus_.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "RemoveMatch", g_variant_new("(s)", rule), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
                               nullptr, nullptr);
    }
}

// On the connection's own thread, for every message it receives: passes each on unchanged.
GDBusMessage* KeyringUnlockWatch::filter(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer data) {
    if (!incoming || g_dbus_message_get_message_type(message) != G_DBUS_MESSAGE_TYPE_SIGNAL ||
        !mayFollowAnUnlock(message)) {
        return message;
    }
    auto& listener = **static_cast<std::shared_ptr<Listener>*>(data);
    std::lock_guard lock(listener.mutex);
    if (listener.changed) listener.changed();
    return message;
}

} // namespace orvik::helper::secretservice
