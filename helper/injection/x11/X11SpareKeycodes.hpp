#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace orvik::helper {

// The keycodes without symbols that the sink borrows to type keysyms missing from the keyboard map.
//
// Applications look a key up in the keyboard map when they process its event, which may be a second or more
// after it was sent. So a binding stays until its place is needed for another keysym, and a place is bound
// again only when its last press is at least `reuseDelay` ago; the place used longest ago goes first. Text that
// needs a place while none is free waits. Bindings idle for `giveBackDelay` go back to no symbol.
//
// Each keycode offers two places: its plain and its Shift level, so text borrows twice as many characters as
// there are free keycodes. A key held down (with whatever modifiers the phone holds) takes a whole keycode, its
// keysym on both levels. Times are seconds of the sink's clock. Pure bookkeeping: the keyboard does the remapping.
class X11SpareKeycodes {
public:
    static constexpr double reuseDelay = 1.5;
    static constexpr double giveBackDelay = 5.0;
    static constexpr std::size_t levels = 2;

    using Levels = std::array<std::uint32_t, levels>; // the keysym of each level, 0 for none

    struct Lease {
        std::uint8_t keycode = 0;
        std::size_t level = 0;     // 1: typed with Shift
        bool needsBinding = false; // the caller must bind binding(keycode) before pressing it

        friend bool operator==(const Lease&, const Lease&) = default;
    };

    // Adds a keycode the keyboard map leaves empty; one already in the pool keeps its state.
    void add(std::uint8_t keycode);
    bool contains(std::uint8_t keycode) const;
    std::vector<std::uint8_t> keycodes() const;
    // The keysyms to bind to `keycode`'s levels.
    Levels binding(std::uint8_t keycode) const;

    // A place that types `keysym` now: one already bound to it, else a free one (recorded as bound to it).
    // Absent when every place is busy.
    std::optional<Lease> leaseLevel(std::uint32_t keysym, double now);
    // A whole keycode with `keysym` on every level, for a key held down. Absent when none is free.
    std::optional<Lease> leaseKey(std::uint32_t keysym, double now);
    // Whether a place can ever come free (some keycode is not held down).
    bool canEverLease() const;

    // A level was pressed and released at `now`.
    void used(std::uint8_t keycode, std::size_t level, double now);
    void pressed(std::uint8_t keycode);
    void released(std::uint8_t keycode, double now);

    // Keycodes whose bindings have been idle for giveBackDelay; they count as unbound from here on.
    std::vector<std::uint8_t> takeIdle(double now);
    // Every bound keycode, all counting as unbound from here on (for shutting down).
    std::vector<std::uint8_t> takeAllBound();
    // When a place next becomes free for a level (or, with `wholeKey`, a whole keycode); absent when none will.
    std::optional<double> nextFree(bool wholeKey) const;
    // When the next bound keycode goes back; absent when none will.
    std::optional<double> nextIdle() const;
    // The latest press of any bound place; absent when none is bound.
    std::optional<double> latestUse() const;

    // The server's map says `keycode` now has `onServer` (absent: symbols beyond the two levels). A spare with
    // symbols other than those it was lent for was taken by another program and leaves the pool; one emptied
    // by someone else stays, unbound.
    void reconcile(std::uint8_t keycode, std::optional<Levels> onServer);

private:
    struct Spare {
        std::uint8_t keycode = 0;
        Levels keysyms{};
        std::array<double, levels> lastUse{};
        int held = 0;

        bool isBound() const { return keysyms[0] != 0 || keysyms[1] != 0; }
        double latest() const;
    };

    Spare* find(std::uint8_t keycode);
    const Spare* find(std::uint8_t keycode) const;
    static bool isFree(const Spare& spare, std::size_t level, double now);
    static void unbind(Spare& spare);

    std::vector<Spare> spares_;
};

} // namespace orvik::helper
