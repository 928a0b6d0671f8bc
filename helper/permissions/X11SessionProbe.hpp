#pragma once

#include "core/ServerClock.hpp"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace orvik::helper {

class X11Display;

// What this desktop session lets the helper do, asked of the X server: post input through XTest, and read the
// root window. Under Wayland XTest reaches only XWayland windows and the root window reads back empty, so a
// Wayland session grants neither. The probe is asked for every input message, so it keeps its connection and
// its answers and asks the server again at most once per `reprobeInterval`, or at once after the connection
// was lost. Thread-safe.
class X11SessionProbe {
public:
    static constexpr double reprobeInterval = 1.0; // seconds

    // The parts of the process environment the probe looks at.
    struct Environment {
        std::string display;        // $DISPLAY; empty means Xlib's default
        std::string waylandDisplay; // $WAYLAND_DISPLAY
        std::string sessionType;    // $XDG_SESSION_TYPE

        bool isWayland() const;
        static Environment current();
    };

    explicit X11SessionProbe(std::function<Environment()> environment = &Environment::current,
                             ServerClock now = systemUptimeClock());
    ~X11SessionProbe();
    X11SessionProbe(const X11SessionProbe&) = delete;
    X11SessionProbe& operator=(const X11SessionProbe&) = delete;

    // The X display opens, it has XTest and the session is not a Wayland session.
    bool canPostEvents();
    // The root window can be read (a one-pixel XGetImage succeeds) and the session is not a Wayland session.
    bool canReadScreen();

    // The probe shared by every permission object of the process.
    static std::shared_ptr<X11SessionProbe> shared();

private:
    struct Answer {
        bool granted = false;
        double time = 0;
    };
    using Check = bool (*)(X11Display&);

    bool answer(std::optional<Answer>& cached, Check check);
    X11Display* connection(const Environment& environment);

    static bool hasXTest(X11Display& display);
    static bool rootReadable(X11Display& display);

    std::mutex mutex_;
    std::function<Environment()> environment_;
    ServerClock now_;
    std::unique_ptr<X11Display> display_;
    std::string displayName_;
    std::optional<Answer> postEvents_;
    std::optional<Answer> readScreen_;
};

} // namespace orvik::helper
