#pragma once

#include <functional>

namespace orvik::helper {

// Ends the application the clean way, with a line in the log saying why, when the session bus goes away. GLib's
// shared connection to it (the keyring's, the links') would otherwise raise SIGTERM on its own, which ends the helper
// with nothing said.
//
// GLib reports the loss on the main context the shared connection was made in: made here first, that is the default
// one, which Qt's event loop runs. (Made first by a library's synchronous call on another thread, it would be that
// call's private context, run by no one, and the loss would go unnoticed.) So construct it on the GUI thread before
// anything else talks to the session bus. Without a session bus at start there is nothing to watch.
class SessionBusLoss {
public:
    SessionBusLoss();
    ~SessionBusLoss();
    SessionBusLoss(const SessionBusLoss&) = delete;
    SessionBusLoss& operator=(const SessionBusLoss&) = delete;

    // What the loss does; runs on the GUI thread, at once when the bus went away already.
    void onLoss(std::function<void()> quit);

private:
    static void closed(void* connection, int remotePeerVanished, void* error, void* self);

    std::function<void()> quit_;
    bool lost_ = false;
    void* connection_ = nullptr; // the GDBusConnection, kept from gio's headers here
    unsigned long handler_ = 0;
};

} // namespace orvik::helper
