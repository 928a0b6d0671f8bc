#pragma once

namespace orvik::helper {

// The software-update checker as the model and the settings see it. Called on the GUI thread.
class UpdaterControlling {
public:
    virtual ~UpdaterControlling() = default;
    // Fixed at creation: the build names an HTTPS feed and a key.
    virtual bool isConfigured() const = 0;
    virtual bool automaticallyChecksForUpdates() const = 0;
    virtual void setAutomaticallyChecksForUpdates(bool enabled) = 0;
    // A check the user asked for: its result is always shown.
    virtual void checkForUpdates() = 0;
    // A check on a phone's behalf or on schedule: only a newer version is shown.
    virtual void checkForUpdatesInBackground() = 0;
};

} // namespace orvik::helper
