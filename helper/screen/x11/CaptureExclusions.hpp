#pragma once

#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

namespace orvik::helper {

// Windows of this application that every capture paints black, for windows that carry no _NET_WM_PID of ours
// (the pairing window shows a secret). The user interface registers a window when it creates it and removes it
// when it destroys it; captures read the list on the next change of the window tree. Thread-safe.
class CaptureExclusions {
public:
    // A window property (CARDINAL 1) that marks a window of any process for painting black, top-level or client
    // window inside a frame. The capture notices it being set or removed on a window already shown.
    static constexpr std::string_view windowProperty = "_ORVIK_CAPTURE_EXCLUDED";

    static void add(std::uint64_t window);
    static void remove(std::uint64_t window);
    static bool contains(std::uint64_t window);
    // Grows with every add and remove, so a capture sees that its cached list is old.
    static std::uint64_t generation();

private:
    struct State {
        std::mutex mutex;
        std::vector<std::uint64_t> windows;
        std::uint64_t generation = 0;
    };
    static State& state();
};

} // namespace orvik::helper
