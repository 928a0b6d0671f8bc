#pragma once

#include "model/WindowID.hpp"
#include "onboarding/ContentWindow.hpp"
#include "onboarding/OnboardingModel.hpp"
#include "onboarding/ViewTiming.hpp"

#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QLabel;
class QPushButton;

namespace orvik::helper {

class PairingView;
class StepDots;

// The first-run window "Set Up Orvik Helper": welcome, the input permission, the network, then pairing a phone.
// Steps only move forward. Finishing marks onboarding completed, starts the server and closes the window.
// Leaving at the pairing step without a pairing ends the session it shows unless another window shows it too,
// so no valid code outlives what is on screen. GUI thread only.
class OnboardingWindow : public ContentWindow {
public:
    enum class Step { welcome, allowControl, localNetwork, pair };
    static constexpr int stepCount = 4;
    static constexpr int contentWidth = 560;
    static constexpr int minimumHeight = 440;
    static constexpr int pairMinimumHeight = 640;

    struct Options {
        ViewTiming timing = ViewTiming::system();
        std::optional<std::string> appStoreID = std::nullopt;
    };

    OnboardingWindow(std::shared_ptr<HelperAppModel> model, WindowOpening& windows);
    OnboardingWindow(std::shared_ptr<OnboardingModel> model, WindowOpening& windows, Options options);
    ~OnboardingWindow() override;

    Step step() const { return step_; }
    const std::optional<std::string>& pairedName() const { return pairedName_; }

protected:
    QPushButton* defaultButton() const override { return defaultButton_ ? defaultButton_() : nullptr; }
    void closeEvent(QCloseEvent* event) override;

private:
    void showStep(Step step);
    QWidget* makeWelcome();
    QWidget* makePair();
    QWidget* makeConfirmation();
    void paired(const PairedDevice& device);
    void pairLater();
    void finish();

    std::shared_ptr<OnboardingModel> model_;
    WindowOpening& windows_;
    Options options_;
    Step step_ = Step::welcome;
    std::optional<std::string> pairedName_;
    bool launchAtLogin_ = true;
    bool finished_ = false;
    QLabel* symbol_;
    QWidget* content_ = nullptr;
    // The pairing step's view while that step shows it.
    QPointer<PairingView> pairingView_;
    StepDots* dots_;
    std::function<QPushButton*()> defaultButton_;
    std::unique_ptr<ModelObservation> observation_;
};

} // namespace orvik::helper
