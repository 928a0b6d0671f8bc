#pragma once

#include "core/ServerClock.hpp"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace orvik::helper {

class X11Display;

// What this desktop session lets the helper do, asked of the X server: post input through XTest, and read the
// root window. Under Wayland XTest reaches only XWayland windows and the root window reads back empty, so a
// Wayland session grants neither.
//
// Callers (the server's thread, for every input message and every status) never wait for the X server: they get
// the answer kept, and the probe's own thread asks the server, with a connection of its own, when there is
// reason to. A granted answer stands while the connection it came from lives, since a running server does not
// take XTest or its root window away; the thread watches that connection and, when the server goes away,
// answers "not granted" at once. Any other answer (no server, a lost one, a Wayland session, a refusal) is
// asked again by the first question after `reprobeInterval`, in the background. Only a question nothing was
// answered for yet waits, at most `firstAnswerWait` (none by then: not granted), and only once: a server that
// stopped answering (a stopped process) so holds up nobody.
//
// Thread-safe. The probe's thread ends with the probe, but for one waiting on a server that does not answer: it
// outlives the probe, makes no X call any more and leaves its connection to the operating system.
class X11SessionProbe {
public:
    // Linux cuts thread names at 15 characters.
    static constexpr const char* threadName = "Orvik.Probe";
    static constexpr double reprobeInterval = 1.0; // seconds
    static constexpr std::chrono::milliseconds firstAnswerWait{250};
    // How long the destructor waits for a question still open before it leaves the thread behind.
    static constexpr std::chrono::seconds abandonAfter{1};

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
    enum Question { postEvents, readScreen, questionCount };
    struct State;

    bool answer(Question question);
    static void work(const std::shared_ptr<State>& state);
    static void waitForWork(State& state);
    static bool ask(State& state, Question question, const Environment& environment);
    static X11Display* connection(State& state, const Environment& environment);
    static void dropConnection(State& state);

    static bool hasXTest(X11Display& display);
    static bool rootReadable(X11Display& display);

    std::function<Environment()> environment_;
    ServerClock now_;
    std::shared_ptr<State> state_;
    std::thread worker_;
};

} // namespace orvik::helper
