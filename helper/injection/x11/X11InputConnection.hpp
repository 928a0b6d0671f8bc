#pragma once

#include "injection/DisplayRect.hpp"
#include "platform/DisplayIdentifiers.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvik::helper {

class X11Display;
class X11Keyboard;
class X11Pointer;

// The sink's connection to the X server with its keyboard and pointer, used on the sink's X thread only. It
// listens for what changes the desktop (keyboard and pointer maps, RandR, the screen saver), so the thread can
// keep the state callers read fresh without polling; it does not listen for pointer motion.
class X11InputConnection {
public:
    // Absent when no server answers.
    static std::unique_ptr<X11InputConnection> open(const std::string& displayName);
    ~X11InputConnection();
    X11InputConnection(const X11InputConnection&) = delete;
    X11InputConnection& operator=(const X11InputConnection&) = delete;

    X11Keyboard& keyboard() { return *keyboard_; }
    X11Pointer& pointer() { return *pointer_; }
    bool isBroken() const;
    int fileDescriptor() const;

    // Reads every event that has arrived; true when the monitors or the screen saver changed.
    bool drainEvents();
    // Events already read from the socket but not yet handled (poll() would not see them).
    bool hasQueuedEvents() const;

    // Round trips to the server.
    std::vector<DisplayInfo> monitors();
    bool screenSaverOn();
    std::optional<DisplayPoint> pointerLocation();
    PixelRect screen() const;
    void flush();
    void sync();

private:
    explicit X11InputConnection(std::unique_ptr<X11Display> display);
    void selectEvents();

    std::unique_ptr<X11Display> display_;
    std::unique_ptr<X11Keyboard> keyboard_;
    std::unique_ptr<X11Pointer> pointer_;
    int randrEventBase_ = -1;
    int xkbEventBase_ = -1;
    int screenSaverEventBase_ = -1;
};

} // namespace orvik::helper
