#pragma once

#include <optional>
#include <string>

namespace orvik::helper {

// The application the user works in now, as the status shows it; both absent when none is known.
struct FrontmostApp {
    std::optional<std::string> name;
    std::optional<std::string> bundleID;

    bool operator==(const FrontmostApp&) const = default;
};

// Follows the frontmost application. `snapshot()` is read on the server's thread at every status build: it
// answers from memory, safe from any thread.
class FrontmostAppTracking {
public:
    virtual ~FrontmostAppTracking() = default;

    virtual FrontmostApp snapshot() const = 0;
};

} // namespace orvik::helper
