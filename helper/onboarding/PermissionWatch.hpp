#pragma once

#include "onboarding/OnboardingModel.hpp"
#include "onboarding/ViewTiming.hpp"

#include <functional>
#include <memory>

namespace orvik::helper {

// Re-reads the event-posting permission at once and then once a second while its view is shown, and runs
// `granted` once, at the first reading that finds the permission, after which it stops. GUI thread only.
class PermissionWatch {
public:
    PermissionWatch(std::shared_ptr<OnboardingModel> model, std::unique_ptr<Ticker> ticker,
                    std::function<void()> granted);

    // The view appeared: the first reading happens now, before any wait.
    void start();
    // The view went away: no further reading.
    void stop();
    bool isWatching() const { return ticker_->isRunning(); }

private:
    void check();

    std::shared_ptr<OnboardingModel> model_;
    std::unique_ptr<Ticker> ticker_;
    std::function<void()> granted_;
    bool done_ = false;
};

} // namespace orvik::helper
