#pragma once

#include <sys/types.h>

#include <string>

namespace orvik::helper {

// What a top-level window says about the application that owns it.
struct WindowIdentity {
    // WM_CLASS: the instance ("gnome-terminal-server") and the class ("Gnome-terminal").
    std::string instance;
    std::string className;
    // _GTK_APPLICATION_ID ("org.gnome.Terminal"); empty when absent.
    std::string applicationID;
    // _NET_WM_PID; 0 when absent.
    pid_t pid = 0;
};

} // namespace orvik::helper
