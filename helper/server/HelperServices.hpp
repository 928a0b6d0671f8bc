#pragma once

#include "server/ServerTypes.hpp"

#include <functional>
#include <memory>

namespace orvik::helper {

class SystemControlling;
struct ScreenServices;

// The callbacks and services the application injects into the server. Every callable may be called from any
// thread and captures only thread-safe state. The asynchronous ones report through a completion callback, which
// they call exactly once, from any thread.
struct HelperServices {
    using CanPostEvents = std::function<bool()>;
    using RequestUpdateCheck = std::function<void(std::function<void()> done)>;
    using ApprovePairing = std::function<void(PairingApprovalRequest request, std::function<void(bool)> done)>;

    // Whether synthetic input may be posted now. Called for every input message, so it must be cheap.
    CanPostEvents canPostEvents = defaultCanPostEvents();
    // Asks the application to check for a software update on behalf of a phone.
    RequestUpdateCheck requestUpdateCheck = defaultRequestUpdateCheck();
    // Asks the local user whether the device may pair; true means approved.
    ApprovePairing approvePairing = defaultApprovePairing();
    // The command handler; absent: none.
    std::shared_ptr<SystemControlling> system;
    // The screen-viewing dependencies; absent: screen viewing is not offered.
    std::shared_ptr<const ScreenServices> screen;

    HelperServices() = default;
    // An empty callable stands for that member's default.
    HelperServices(CanPostEvents canPostEvents, RequestUpdateCheck requestUpdateCheck, ApprovePairing approvePairing,
                   std::shared_ptr<SystemControlling> system = nullptr,
                   std::shared_ptr<const ScreenServices> screen = nullptr)
        : canPostEvents(canPostEvents ? std::move(canPostEvents) : defaultCanPostEvents()),
          requestUpdateCheck(requestUpdateCheck ? std::move(requestUpdateCheck) : defaultRequestUpdateCheck()),
          approvePairing(approvePairing ? std::move(approvePairing) : defaultApprovePairing()),
          system(std::move(system)), screen(std::move(screen)) {}

    // Event posting is taken as permitted.
    static CanPostEvents defaultCanPostEvents() {
        return [] { return true; };
    }
    // Completes at once and does nothing.
    static RequestUpdateCheck defaultRequestUpdateCheck() {
        return [](std::function<void()> done) { done(); };
    }
    // Refuses every pairing that needs the user's approval.
    static ApprovePairing defaultApprovePairing() {
        return [](PairingApprovalRequest, std::function<void(bool)> done) { done(false); };
    }
};

} // namespace orvik::helper
