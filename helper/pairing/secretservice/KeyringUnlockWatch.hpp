#pragma once

#include "pairing/DeviceKeyVault.hpp"
#include "pairing/secretservice/SecretServiceCalls.hpp"

#include <functional>
#include <memory>
#include <mutex>

namespace orvik::helper::secretservice {

// Hears the Secret Service's signals that follow an unlock, on the session bus connection's own thread (a message
// filter, so no main loop of ours is needed): a collection changed (what gnome-keyring sends when a keyring it loaded
// locked is unlocked), or a collection's properties changed (what it sends when one locked while it ran is unlocked).
// Either may also follow other changes: the listener finds out what changed. The match rules name the service's
// well-known name, so a daemon the bus started anew is heard as well. A new owner of that name is heard too: a daemon
// started again, or one that replaced the running one, may hold the keyring unlocked from its start and say nothing.
class KeyringUnlockWatch final : public VaultWatch {
public:
    // Absent when the session bus cannot be reached.
    static std::unique_ptr<KeyringUnlockWatch> start(std::function<void()> changed, const Deadline& deadline);
    // Once it returns, `changed` is not called any more.
    ~KeyringUnlockWatch() override;

    KeyringUnlockWatch(const KeyringUnlockWatch&) = delete;
    KeyringUnlockWatch& operator=(const KeyringUnlockWatch&) = delete;

private:
    // What the filter reads; it may run a last time after the filter was removed, so it holds this itself.
    struct Listener {
        std::mutex mutex;
        std::function<void()> changed;
    };

    KeyringUnlockWatch(GObjectPtr<GDBusConnection> bus, std::shared_ptr<Listener> listener);
    static GDBusMessage* filter(GDBusConnection* bus, GDBusMessage* message, gboolean incoming, gpointer data);

    GObjectPtr<GDBusConnection> bus_;
    std::shared_ptr<Listener> listener_;
    guint filterID_ = 0;
};

} // namespace orvik::helper::secretservice
