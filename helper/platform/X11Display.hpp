#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace orvik::helper {

// One connection to an X server, owned by one service. Protocol errors on it are counted instead of ending the
// process (Xlib's default), and a lost connection marks it broken instead of calling exit(): the owner then
// opens a new one. A broken connection is never closed through Xlib (after an I/O error libX11 may leave its
// display lock held, and XCloseDisplay would wait for it forever): its socket is closed and the rest dropped.
class X11Display {
public:
    // Connects to `name`, or to $DISPLAY when it is empty. Absent when no server answers.
    // Blocks SIGPIPE on the calling thread first: a server that goes away between libxcb's poll and its write
    // raises it, and its default action would end the process; blocked, the write fails as a lost connection.
    // Programs the helper starts get an empty signal mask back (ChildSetup).
    static std::unique_ptr<X11Display> open(const std::string& name = {});

    ~X11Display();
    X11Display(const X11Display&) = delete;
    X11Display& operator=(const X11Display&) = delete;

    Display* get() const noexcept { return display_; }
    int screen() const noexcept;
    Window root() const noexcept;

    // The atom of `name`, interned on first use and cached. Thread-safe.
    Atom atom(std::string_view name);
    // The text of an atom; empty for None or an unknown atom.
    std::string atomName(Atom atom);
    // The selection a compositing manager of this connection's screen owns while it runs (_NET_WM_CM_S<screen>).
    Atom compositingManagerSelection() { return atom("_NET_WM_CM_S" + std::to_string(screen())); }

    // True once the connection to the server was lost; every later request on it is a no-op.
    bool isBroken() const noexcept { return broken_.load(std::memory_order_relaxed); }
    // Treats the connection as lost: it is then dropped without Xlib. For an owner that must not call Xlib any
    // more (a thread left behind while the process exits).
    void markLost() noexcept { broken_.store(true, std::memory_order_relaxed); }
    // Number of protocol errors the server reported on this connection so far.
    std::uint64_t errorCount() const noexcept { return errors_.load(std::memory_order_relaxed); }

    // Waits until the server has handled every request sent so far; true when none of the requests sent since
    // `errorsBefore` (a value of errorCount()) failed and the connection is intact.
    bool syncSucceeded(std::uint64_t errorsBefore);

private:
    explicit X11Display(Display* display);

    static int handleError(Display* display, XErrorEvent* event);
    static void handleConnectionLoss(Display* display, void* owner);

    Display* display_;
    std::atomic<bool> broken_{false};
    std::atomic<std::uint64_t> errors_{0};
    std::mutex atomsMutex_;
    std::unordered_map<std::string, Atom> atoms_;
};

} // namespace orvik::helper
