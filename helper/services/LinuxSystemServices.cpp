#include "services/LinuxSystemServices.hpp"

#include "apps/AppServices.hpp"
#include "audio/PulseVolume.hpp"
#include "power/SystemPowerExecutor.hpp"
#include "pro/ProCommandsFactory.hpp"
#include "system/BatteryReader.hpp"
#include "system/BootSleeper.hpp"

namespace orvik::helper {
namespace {

class NoOutputVolume final : public VolumeControlling {
public:
    std::optional<VolumeStatus> status() const override { return std::nullopt; }
    void setLevel(float, Done done) override { done(false); }
    void setMuted(bool, Done done) override { done(false); }
    void observeChanges(std::function<void()>) override {}
};

class NoPowerBackend final : public PowerExecuting {
public:
    void run(PowerAction, std::function<void(CommandOutcome)> done) override {
        done(CommandOutcome::failure(ErrorCode::internalError, "no power backend"));
    }
};

} // namespace

SystemController::Services linuxSystemServices(asio::any_io_executor worker, const LinuxSystemBackends& backends,
                                               std::function<void()> statusChanged) {
    SystemController::Services services;
    if (backends.soundServer) {
        services.volume = makePulseVolume(backends.soundServer->address);
        services.volume->observeChanges(statusChanged);
    } else {
        services.volume = std::make_shared<NoOutputVolume>();
    }
    if (backends.systemBus && backends.sessionBus) {
        services.power = makePowerExecutor(backends.systemBus->address, backends.sessionBus->address);
    } else {
        services.power = std::make_shared<NoPowerBackend>();
    }
    if (backends.pro) {
        services.pro = makeProCommands(makeAppCatalog());
        services.frontmost = makeFrontmostAppTracker(std::move(statusChanged));
    }
    services.presets = PresentationPresets::installed();
    services.sleepTimer = SleepTimer::create(BootSleeper::make(worker));
    auto battery = BatteryReader::create(BatteryReader::systemRoot, worker);
    services.battery = [battery] { return battery->latest(); };
    return services;
}

} // namespace orvik::helper
