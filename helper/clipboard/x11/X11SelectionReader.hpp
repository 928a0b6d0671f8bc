#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "platform/X11Display.hpp"

#include <X11/Xlib.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace orvik::helper {

// Reads a selection from whichever client owns it, one conversion at a time, including incremental (INCR)
// transfers. Every wait is bounded by a deadline; data over the size limit is abandoned.
class X11SelectionReader {
public:
    using Clock = std::chrono::steady_clock;
    // Runs the connection's event loop until `done` holds (true) or `deadline` passes (false).
    using Pump = std::function<bool(const std::function<bool()>& done, Clock::time_point deadline)>;

    X11SelectionReader(X11Display& display, Window window, Pump pump);

    // The connection's event loop hands over every SelectionNotify and PropertyNotify of our window.
    void handle(const XEvent& event);

    // The targets the selection's owner offers; absent when it does not answer TARGETS.
    std::optional<std::vector<Atom>> targets(Atom selection, Time time, Clock::time_point deadline);
    // One target's data as 8-bit items; absent when refused, too large, not bytes or not in time.
    std::optional<Bytes> read(Atom selection, Atom target, Time time, std::size_t maxBytes, Clock::time_point deadline);

private:
    struct Value {
        Atom type = None;
        int format = 0;
        Bytes bytes;                      // format 8
        std::vector<unsigned long> longs; // format 32
    };
    enum class PropertyRead { absent, tooLarge, read };
    struct Pending {
        Atom selection = None;
        Atom target = None;
        Atom property = None;
        bool answered = false;
        Atom answeredProperty = None;
        bool chunkReady = false;
    };

    std::optional<Value> convert(Atom selection, Atom target, Time time, std::size_t maxBytes,
                                 Clock::time_point deadline);
    std::optional<Value> receiveIncrementally(Value first, std::size_t maxBytes, Clock::time_point deadline);
    PropertyRead readProperty(Atom property, std::size_t maxBytes, Value& value);
    Atom nextProperty();

    // Conversions rotate over a few properties, so chunks of an abandoned transfer never land in the next one.
    static constexpr int propertyCount = 8;
    static constexpr std::size_t maxTargetsBytes = 64 * 1024;

    X11Display& x11_;
    Display* display_;
    Window window_;
    Pump pump_;
    std::optional<Pending> pending_;
    int nextPropertyIndex_ = 0;
};

} // namespace orvik::helper
