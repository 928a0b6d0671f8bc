#include "model/HelperAppModel.hpp"
#include "onboarding/AppStoreHint.hpp"
#include "onboarding/FixPermissionWindow.hpp"
#include "onboarding/OnboardingModel.hpp"
#include "onboarding/OnboardingWindow.hpp"
#include "onboarding/PairingWindow.hpp"

// The windows over the application model itself.
namespace orvik::helper {
namespace {

class AppModelAdapter final : public OnboardingModel {
public:
    explicit AppModelAdapter(std::shared_ptr<HelperAppModel> model) : model_(std::move(model)) {}

    std::size_t addObserver(std::function<void()> observer) override {
        return model_->addObserver(std::move(observer));
    }
    void removeObserver(std::size_t token) override { model_->removeObserver(token); }
    std::string computerName() const override { return model_->identity().macName; }
    const std::optional<PairingInfo>& pairing() const override { return model_->pairing(); }
    const std::optional<PairedDevice>& lastPairedDevice() const override { return model_->lastPairedDevice(); }
    const ListenerStatus& listenerStatus() const override { return model_->listenerStatus(); }
    bool canPostEvents() const override { return model_->canPostEvents(); }
    void startServer() override { model_->startServer(); }
    void startPairing(std::function<void(const std::optional<PairingInfo>&)> opened) override {
        model_->startPairing(std::move(opened));
    }
    void cancelPairing(const Uuid& sessionID) override { model_->cancelPairing(sessionID); }
    std::size_t pairingViewsShown() const override { return model_->pairingViewsShown(); }
    void countPairingView(bool shown) override { model_->countPairingView(shown); }
    void refreshPermission() override { model_->refreshPermission(); }
    void requestPermission() override { model_->requestPermission(); }
    void setLaunchesAtLogin(bool enabled) override { model_->setLaunchesAtLogin(enabled); }
    void setOnboardingCompleted(bool completed) override { model_->setOnboardingCompleted(completed); }

private:
    std::shared_ptr<HelperAppModel> model_;
};

} // namespace

std::shared_ptr<OnboardingModel> OnboardingModel::of(std::shared_ptr<HelperAppModel> model) {
    return std::make_shared<AppModelAdapter>(std::move(model));
}

OnboardingWindow::OnboardingWindow(std::shared_ptr<HelperAppModel> model, WindowOpening& windows)
    : OnboardingWindow(OnboardingModel::of(std::move(model)), windows,
                       Options{ViewTiming::system(), AppStoreHint::configuredID()}) {}

PairingWindow::PairingWindow(std::shared_ptr<HelperAppModel> model, WindowOpening& windows)
    : PairingWindow(OnboardingModel::of(std::move(model)), windows, ViewTiming::system()) {}

FixPermissionWindow::FixPermissionWindow(std::shared_ptr<HelperAppModel> model, WindowOpening& windows)
    : FixPermissionWindow(OnboardingModel::of(std::move(model)), windows, ViewTiming::system()) {}

} // namespace orvik::helper
