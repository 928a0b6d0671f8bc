#pragma once

#include "onboarding/OnboardingModel.hpp"
#include "onboarding/PermissionWatch.hpp"
#include "onboarding/ViewTiming.hpp"

#include <QWidget>

#include <functional>
#include <memory>

class QPushButton;

namespace orvik::helper {

// The onboarding step that gets the helper the right to post input: on X11 that is a session with XTEST, so it
// says how to get one. "Allow Control" probes again; the watch moves on by itself once the permission is there.
class AllowControlStep : public QWidget {
public:
    AllowControlStep(std::shared_ptr<OnboardingModel> model, const ViewTiming& timing, std::function<void()> next,
                     QWidget* parent = nullptr);

    QPushButton* defaultButton() const { return allowControl_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    std::shared_ptr<OnboardingModel> model_;
    PermissionWatch watch_;
    QPushButton* allowControl_;
};

} // namespace orvik::helper
