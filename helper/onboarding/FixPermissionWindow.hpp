#pragma once

#include "model/WindowID.hpp"
#include "onboarding/ContentWindow.hpp"
#include "onboarding/OnboardingModel.hpp"
#include "onboarding/PermissionWatch.hpp"
#include "onboarding/ViewTiming.hpp"

#include <memory>

class QPushButton;

namespace orvik::helper {

// The window "Allow Orvik Helper Again": why the helper cannot post input in this session and the three steps
// to a session where it can. It re-reads the permission at once and every second while shown, and closes
// itself at the first reading that finds it granted. GUI thread only.
class FixPermissionWindow : public ContentWindow {
public:
    static constexpr int contentWidth = 480;

    FixPermissionWindow(std::shared_ptr<HelperAppModel> model, WindowOpening& windows);
    FixPermissionWindow(std::shared_ptr<OnboardingModel> model, WindowOpening& windows, const ViewTiming& timing);
    ~FixPermissionWindow() override;

    bool isWatching() const { return watch_.isWatching(); }

protected:
    QPushButton* defaultButton() const override { return allowControl_; }
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    std::shared_ptr<OnboardingModel> model_;
    PermissionWatch watch_;
    QPushButton* allowControl_;
};

} // namespace orvik::helper
