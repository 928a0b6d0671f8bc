#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/messages/QueryMessages.hpp"
#include "server/CommandOutcome.hpp"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvik::helper {

// An application's icon as PNG bytes, with the version of the application it was taken from.
struct AppIcon {
    std::string version;
    Bytes png;
};

// The desktop's applications: which are installed and running, their icons, and launching, activating and
// quitting them by identifier (the desktop-file id). Every operation may be called from any thread and reports
// through `done`, called exactly once from any thread; none of them checks its arguments (the caller does).
class AppCataloging {
public:
    virtual ~AppCataloging() = default;

    virtual void installedApps(std::function<void(std::vector<AppInfo>)> done) = 0;
    // Exactly size×size pixels; absent when the application or its icon is not found.
    virtual void icon(std::string bundleID, int size, std::function<void(std::optional<AppIcon>)> done) = 0;
    virtual void runningApps(std::function<void(std::vector<RunningApp>)> done) = 0;
    virtual void launch(std::string bundleID, std::function<void(CommandOutcome)> done) = 0;
    virtual void activate(std::string bundleID, std::function<void(CommandOutcome)> done) = 0;
    virtual void quit(std::string bundleID, std::function<void(CommandOutcome)> done) = 0;
};

} // namespace orvik::helper
