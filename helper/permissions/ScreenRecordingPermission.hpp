#pragma once

#include <functional>

namespace orvik::helper {

// Whether the helper may read the screen: the root window of the X display can be read (see X11SessionProbe).
// There is no prompt on X11, so asking only probes again; nothing is stored.
class ScreenRecordingPermission {
public:
    using Probe = std::function<bool()>;

    // `probe` empty: never granted (the application gives the session's probe, see
    // x11/SessionPermissions).
    explicit ScreenRecordingPermission(Probe probe = {});

    bool isGranted() const;
    bool request() const;

private:
    Probe probe_;
};

} // namespace orvik::helper
