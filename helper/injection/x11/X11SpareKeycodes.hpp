#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace orvik::helper {

// The keycodes without symbols that the sink borrows to type keysyms missing from the keyboard map.
//
// Applications re-read the keyboard map some time after it changes, so a keycode must keep its keysym for a
// while after it was pressed: a keycode is bound again, or given back (restored to no symbol), only when it was
// last used at least `restoreDelay` ago and is not held down. The spare used longest ago is lent first, so
// several characters in a row each get their own keycode. Times are seconds of the sink's clock. Pure
// bookkeeping: the sink does the remapping.
class X11SpareKeycodes {
public:
    static constexpr double restoreDelay = 0.020;

    struct Lease {
        std::uint8_t keycode = 0;
        bool needsBinding = false; // the caller must bind the keysym to the keycode before pressing it

        friend bool operator==(const Lease&, const Lease&) = default;
    };

    // Starts over with these keycodes, none bound.
    void assign(std::vector<std::uint8_t> keycodes);
    bool contains(std::uint8_t keycode) const;
    bool isEmpty() const { return spares_.empty(); }
    std::vector<std::uint8_t> keycodes() const;

    // A keycode that types `keysym` now: the spare already bound to it, else a free spare (which this records as
    // bound to it). Absent when every spare is busy.
    std::optional<Lease> lease(std::uint32_t keysym, double now);
    // Whether some spare can ever become free (one that is not held down).
    bool canEverLease() const;

    // The keycode was pressed and released at `now`.
    void used(std::uint8_t keycode, double now);
    void pressed(std::uint8_t keycode);
    void released(std::uint8_t keycode, double now);

    // Bound spares that are due to be given back at `now`; they count as unbound from here on.
    std::vector<std::uint8_t> takeDue(double now);
    // Every bound spare, all counting as unbound from here on (for shutting down).
    std::vector<std::uint8_t> takeAllBound();
    // When the next bound spare becomes due; absent when none is bound or all bound ones are held.
    std::optional<double> nextDeadline() const;
    // The latest use of any bound spare; absent when none is bound.
    std::optional<double> latestUse() const;

    // The server's map says `keycode` now types `keysym` (0: nothing). A spare that types something other
    // than what it was lent for was taken by another program and leaves the pool.
    void reconcile(std::uint8_t keycode, std::uint32_t keysym);

private:
    struct Spare {
        std::uint8_t keycode = 0;
        std::uint32_t keysym = 0; // 0: unbound
        double lastUse = 0;
        int held = 0;
    };

    Spare* find(std::uint8_t keycode);
    bool isFree(const Spare& spare, double now) const;

    std::vector<Spare> spares_;
};

} // namespace orvik::helper
