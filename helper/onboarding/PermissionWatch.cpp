#include "onboarding/PermissionWatch.hpp"

namespace orvik::helper {

PermissionWatch::PermissionWatch(std::shared_ptr<OnboardingModel> model, std::unique_ptr<Ticker> ticker,
                                 std::function<void()> granted)
    : model_(std::move(model)), ticker_(std::move(ticker)), granted_(std::move(granted)) {}

void PermissionWatch::start() {
    if (done_) return;
    ticker_->start([this] { check(); });
    check();
}

void PermissionWatch::stop() {
    ticker_->stop();
}

void PermissionWatch::check() {
    if (done_) return;
    model_->refreshPermission();
    if (!model_->canPostEvents()) return;
    done_ = true;
    ticker_->stop();
    // Last: the view that owns this watch may go away in it.
    const auto granted = granted_;
    granted();
}

} // namespace orvik::helper
