#include "app/SessionBusLoss.hpp"

#include "core/Log.hpp"

// Qt's "signals" keyword, defined by headers of the same unity-build unit, is a field name in GIO's.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace orvik::helper {

SessionBusLoss::SessionBusLoss() {
    GDBusConnection* connection = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!connection) return;
    g_dbus_connection_set_exit_on_close(connection, FALSE);
    handler_ = g_signal_connect(connection, "closed", G_CALLBACK(closed), this);
    connection_ = connection;
}

SessionBusLoss::~SessionBusLoss() {
    if (!connection_) return;
    g_signal_handler_disconnect(connection_, handler_);
    g_object_unref(connection_);
}

void SessionBusLoss::onLoss(std::function<void()> quit) {
    quit_ = std::move(quit);
    if (lost_ && quit_) quit_();
}

void SessionBusLoss::closed(void*, int, void* error, void* self) {
    const auto* reason = static_cast<const GError*>(error);
    Log::error("App", std::string("The session bus went away (") + (reason ? reason->message : "closed") +
                          "); Orvik Helper quits");
    auto* watch = static_cast<SessionBusLoss*>(self);
    watch->lost_ = true;
    if (watch->quit_) watch->quit_();
}

} // namespace orvik::helper
