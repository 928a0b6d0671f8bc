#pragma once

#include "listener/ListenerStatus.hpp"
#include "pairing/PairedDevice.hpp"
#include "server/ServerTypes.hpp"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvik::helper {

class HelperAppModel;

// What the onboarding, pairing and fix-permission windows read and drive of the application model. Used on the
// GUI thread only; actions return at once and their outcome arrives as a later change.
class OnboardingModel {
public:
    virtual ~OnboardingModel() = default;

    // The application model itself, held strongly.
    static std::shared_ptr<OnboardingModel> of(std::shared_ptr<HelperAppModel> model);

    // Each observer runs after any change of the state below.
    virtual std::size_t addObserver(std::function<void()> observer) = 0;
    virtual void removeObserver(std::size_t token) = 0;

    virtual std::string computerName() const = 0;
    virtual const std::optional<PairingInfo>& pairing() const = 0;
    virtual const std::optional<PairedDevice>& lastPairedDevice() const = 0;
    virtual const ListenerStatus& listenerStatus() const = 0;
    virtual bool canPostEvents() const = 0;

    virtual void startServer() = 0;
    // Asks for a new pairing session; `opened` runs later, once, with the one opened for this request or none.
    virtual void startPairing(std::function<void(const std::optional<PairingInfo>&)> opened) = 0;
    // Ends the pairing session with this identifier while it is the open one.
    virtual void cancelPairing(const Uuid& sessionID) = 0;
    // Pairing views on screen in every window together; each view counts itself in and out.
    virtual std::size_t pairingViewsShown() const = 0;
    virtual void countPairingView(bool shown) = 0;
    virtual void refreshPermission() = 0;
    virtual void requestPermission() = 0;
    virtual void setLaunchesAtLogin(bool enabled) = 0;
    virtual void setOnboardingCompleted(bool completed) = 0;
};

// Holds a model observer for as long as it lives.
class ModelObservation {
public:
    ModelObservation(std::shared_ptr<OnboardingModel> model, std::function<void()> observer)
        : model_(std::move(model)), token_(model_->addObserver(std::move(observer))) {}
    ~ModelObservation() { model_->removeObserver(token_); }
    ModelObservation(const ModelObservation&) = delete;
    ModelObservation& operator=(const ModelObservation&) = delete;

private:
    std::shared_ptr<OnboardingModel> model_;
    std::size_t token_;
};

} // namespace orvik::helper
