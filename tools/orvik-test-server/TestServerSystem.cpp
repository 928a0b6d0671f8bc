#include "TestServerSystem.hpp"

#include "apps/AppServices.hpp"
#include "audio/PulseVolume.hpp"
#include "core/Log.hpp"
#include "power/SystemPowerExecutor.hpp"
#include "pro/ProCommandsFactory.hpp"
#include "system/BatteryReader.hpp"
#include "system/BootSleeper.hpp"

#include <string>

namespace orvik::testserver {

namespace {

using namespace orvik::helper;

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

std::shared_ptr<SystemController> TestServerSystem::build(asio::any_io_executor worker,
                                                          HelperServices::CanPostEvents canPostEvents,
                                                          const SystemBackends& backends,
                                                          std::function<void()> statusChanged) {
    auto battery = BatteryReader::create(BatteryReader::systemRoot, worker);
    SystemController::Services services;
    if (backends.pulseServer) {
        services.volume = makePulseVolume(backends.pulseServer);
        services.volume->observeChanges(statusChanged);
    } else {
        services.volume = std::make_shared<NoOutputVolume>();
    }
    if (backends.systemBus && backends.sessionBus)
        services.power = makePowerExecutor(backends.systemBus, backends.sessionBus);
    else
        services.power = std::make_shared<NoPowerBackend>();
    if (backends.pro) {
        services.pro = makeProCommands(makeAppCatalog());
        services.frontmost = makeFrontmostAppTracker(statusChanged);
    }
    services.presets = PresentationPresets::installed();
    services.sleepTimer = SleepTimer::create(BootSleeper::make(worker));
    services.battery = [battery] { return battery->latest(); };
    services.sleepWarning = [](PowerAction action) {
        Log::notice("System", "Power action " + std::string(caseName(action)) + " in one minute");
    };
    services.canPostEvents = std::move(canPostEvents);
    return SystemController::create(std::move(services));
}

} // namespace orvik::testserver
