#pragma once

#include "server/ProCommandHandling.hpp"
#include "server/SystemControlling.hpp"
#include "system/FrontmostAppTracking.hpp"
#include "system/PowerExecuting.hpp"
#include "system/PresentationPresets.hpp"
#include "system/SleepTimer.hpp"
#include "system/VolumeControlling.hpp"

#include <functional>
#include <memory>
#include <optional>

namespace orvik::helper {

// The handler of the commands that act on the computer as a whole: media and volume keys, the volume level,
// presentation keys, power actions now or after a delay, the overlay and cancelling a delayed action. It fills
// the status with battery, volume, frontmost app and the pending action, and passes what it does not serve to
// the pro handler.
//
// Threads: `handle` is called on the server's thread and never waits there: it reaches the server only through
// the session, one call at a time, and services that take time (the sound server, power actions) complete on
// their own threads; `fill` runs on the server's thread and reads services that answer from memory. A delayed
// action fires on the sleep timer's thread; it holds the controller weakly and the server through the session
// (which holds the server weakly). The overlay callable hands the mode to the GUI thread itself.
class SystemController final : public SystemControlling, public std::enable_shared_from_this<SystemController> {
public:
    // `volume`, `power` and `sleepTimer` are required.
    struct Services {
        std::shared_ptr<VolumeControlling> volume;
        std::shared_ptr<PowerExecuting> power;
        PresentationPresets presets = PresentationPresets::builtIn();
        std::shared_ptr<SleepTimer> sleepTimer;
        // Optional: without it the status names no frontmost app.
        std::shared_ptr<const FrontmostAppTracking> frontmost;
        // Posts the mode to the GUI thread's overlay; empty: no overlay, and the capability is not offered.
        std::function<void(OverlayMode)> overlay;
        // Optional.
        std::shared_ptr<ProCommandHandling> pro;
        // Answers from a cache at once; empty: no battery.
        std::function<std::optional<BatteryStatus>()> battery;
        // Called a minute before a delayed action runs, on the sleep timer's thread.
        std::function<void(PowerAction)> sleepWarning;
        // Whether synthetic input may be posted now (the server's own answer); a lock needs it.
        std::function<bool()> canPostEvents;
    };

    static std::shared_ptr<SystemController> create(Services services);

    Capabilities capabilities() const override;
    void handle(const OrvikMessage& message, std::shared_ptr<CommandSession> session,
                std::function<void()> done) override;
    void fill(HelperStatus& status) const override;

    const std::shared_ptr<SleepTimer>& sleepTimer() const { return services_.sleepTimer; }

private:
    using Done = std::function<void()>;
    using Answer = std::function<void(CommandOutcome)>;
    using Session = std::shared_ptr<CommandSession>;

    explicit SystemController(Services services);

    void media(MediaKey key, const Session& session, Done done);
    void volumeSet(float level, const Session& session, Done done);
    void presentation(const PresentationCommand& command, const Session& session, Done done);
    void power(const PowerCommand& command, const Session& session, Answer answer);
    void schedule(PowerAction action, std::int64_t delaySeconds, const Session& session, Answer answer);
    void fire(PowerAction action, const Session& session);
    void execute(PowerAction action, Answer answer);

    Services services_;
};

} // namespace orvik::helper
