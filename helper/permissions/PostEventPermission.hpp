#pragma once

#include "core/UserDefaults.hpp"

#include <functional>
#include <memory>
#include <string_view>

namespace orvik::helper {

// Whether the helper may post synthetic input, and the memory of whether it ever could and was ever asked to.
// On X11 there is no prompt: the permission is the session's (see X11SessionProbe), and asking only probes
// again. The two flags move only from false to true.
class PostEventPermission {
public:
    static constexpr std::string_view grantedBeforeKey = "postEventGrantedBefore";
    static constexpr std::string_view requestedBeforeKey = "postEventRequestedBefore";

    using Probe = std::function<bool()>;

    // `defaults` null means the standard user defaults; `probe` empty: never granted
    // (the application gives the session's probe, see x11/SessionPermissions).
    explicit PostEventPermission(std::shared_ptr<UserDefaults> defaults = nullptr, Probe probe = {});

    // Probes without asking anyone; a granted answer is remembered under grantedBeforeKey.
    bool isGranted() const;
    // Probes (there is nothing to prompt on X11) and remembers the request; a granted answer is remembered too.
    bool request() const;
    bool hasRequestedBefore() const;
    // Not granted now although it was granted before. Reading it never writes.
    bool wasLost() const;

private:
    std::shared_ptr<UserDefaults> defaults_;
    Probe probe_;
};

} // namespace orvik::helper
