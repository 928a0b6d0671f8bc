#pragma once

#include "onboarding/OnboardingModel.hpp"

#include <QWidget>

#include <functional>
#include <memory>

class QPushButton;

namespace orvik::helper {

class OnboardingStepText;

// The onboarding step that starts the server and moves on once its listener is ready (mDNS advertising is not
// waited for: a missing avahi-daemon does not hold the step). It follows the model's listener status; it never
// polls.
class LocalNetworkStep : public QWidget {
public:
    enum class Branch { firstTime, waiting, ready, denied };

    LocalNetworkStep(std::shared_ptr<OnboardingModel> model, std::function<void()> next, QWidget* parent = nullptr);

    // Before the start button is pressed the first-time branch shows, whatever the status.
    static Branch branch(bool started, const ListenerStatus& status);

    // The button Return presses: absent while none takes it.
    QPushButton* defaultButton() const;

private:
    void refresh();
    void pressed();

    std::shared_ptr<OnboardingModel> model_;
    std::function<void()> next_;
    bool started_ = false;
    Branch branch_ = Branch::firstTime;
    OnboardingStepText* text_;
    QPushButton* button_;
    std::unique_ptr<ModelObservation> observation_;
};

} // namespace orvik::helper
