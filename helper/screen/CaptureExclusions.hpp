#pragma once

#include <string_view>

namespace orvik::helper {

// How a window of any process asks every capture of ours to paint it black (a window showing a pairing code): it
// carries this window property (CARDINAL 1), as a top-level window or as a client window inside a window
// manager's frame. A capture notices the property being set or removed on a window already shown.
struct CaptureExclusions {
    static constexpr std::string_view windowProperty = "_ORVIK_CAPTURE_EXCLUDED";
};

} // namespace orvik::helper
