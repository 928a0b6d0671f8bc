#pragma once

#include "model/WindowID.hpp"
#include "onboarding/ContentWindow.hpp"
#include "onboarding/OnboardingModel.hpp"
#include "onboarding/ViewTiming.hpp"

#include <memory>

class QPushButton;

namespace orvik::helper {

class PairingView;

// The window "Pair iPhone": the pairing view and one button, "Cancel" while a session is open, else "Done".
// Showing the window asks for a session when none is open; closing it, however it is closed, ends the session it
// shows unless another window shows it too. A minimise is not a close. GUI thread only.
class PairingWindow : public ContentWindow {
public:
    static constexpr int contentWidth = 420;

    PairingWindow(std::shared_ptr<HelperAppModel> model, WindowOpening& windows);
    PairingWindow(std::shared_ptr<OnboardingModel> model, WindowOpening& windows, ViewTiming timing);
    ~PairingWindow() override;

    PairingView* pairingView() const { return view_; }
    // A new session of this window's own, what the menu's "Pair iPhone…" asks of it: a phone paired before
    // no longer counts as paired here. Nothing while the one it asked for last is still on its way (the one its
    // opening asked for, say).
    void startNewSession();

protected:
    void cancel() override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void refresh();

    std::shared_ptr<OnboardingModel> model_;
    WindowOpening& windows_;
    PairingView* view_;
    QPushButton* button_;
    std::unique_ptr<ModelObservation> observation_;
};

} // namespace orvik::helper
