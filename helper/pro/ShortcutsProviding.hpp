#pragma once

#include "orvik/protocol/messages/QueryMessages.hpp"
#include "server/CommandOutcome.hpp"

#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace orvik::helper {

// Why the user's commands could not be listed. The detail names the failing step; it is not sent to the phone.
struct ShortcutsError {
    std::string detail;

    friend bool operator==(const ShortcutsError&, const ShortcutsError&) = default;
};

using ShortcutsListing = std::variant<std::vector<ShortcutInfo>, ShortcutsError>;

// The user's own commands ("shortcuts"): listing them with their folders and running one by name. Both operations
// may be called from any thread, also at the same time, and report through `done`, called exactly once from any
// thread.
class ShortcutsProviding {
public:
    virtual ~ShortcutsProviding() = default;

    virtual void list(std::function<void(ShortcutsListing)> done) = 0;
    virtual void run(std::string name, std::function<void(CommandOutcome)> done) = 0;
};

} // namespace orvik::helper
