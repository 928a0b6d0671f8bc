#pragma once

#include "onboarding/OnboardingModel.hpp"
#include "onboarding/PairingPresentation.hpp"
#include "onboarding/ViewTiming.hpp"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QPushButton;

namespace orvik::helper {

class QRCodeLabel;

// The panel through which the local user pairs a phone: the computer's name, then the open session's QR code,
// manual code and countdown; or the confirmation for a device paired while the panel is shown; or the expired
// notice with "Show a New Code". It follows the model alone and keeps its window out of screen capture. It
// neither starts nor cancels a session when it appears or goes: its hosts do, through it. Every view on screen
// shows the model's one session, whichever view asked for it, so a view that goes ends a session only when no
// other view is on screen: no window ends a session another open window shows, and none outlives them all.
// GUI thread only.
class PairingView : public QWidget {
public:
    using OnPaired = std::function<void(const PairedDevice&)>;

    static constexpr int qrSide = 260;
    static constexpr int qrPadding = 14;

    PairingView(std::shared_ptr<OnboardingModel> model, ViewTiming timing, OnPaired onPaired = {},
                QWidget* parent = nullptr);
    ~PairingView() override;

    PairingPresentation::State state() const { return state_; }

    // The host shows the view: it counts as on screen until endSession().
    void appear();
    // Appears and asks for a session of this view's own.
    void startSession();
    // A session of its own shown from now on: a device paired before no longer counts as paired here.
    void showNewCode();
    // The host no longer shows the view. When no other view is on screen, the session shown is ended, and one
    // of its own still on its way is ended when it arrives.
    void endSession();
    // Whether a session of its own was asked for, has not arrived yet and was not ended.
    bool awaitsSession() const { return ownSession_ && !ownSession_->answered && !ownSession_->ended; }

private:
    struct OwnSession {
        std::optional<Uuid> id;
        bool answered = false;
        bool ended = false;
    };

    QWidget* makeCodePage();
    QWidget* makePairedPage();
    QWidget* makeExpiredPage();
    void refresh();
    void showCode(const PairingInfo& info);
    void updateCountdown();
    void disappear();

    std::shared_ptr<OnboardingModel> model_;
    ViewTiming timing_;
    OnPaired onPaired_;
    Date shownAt_;
    std::optional<PairedDevice> lastPaired_;
    std::optional<PairingInfo> shownCode_;
    PairingPresentation::State state_ = PairingPresentation::State::expired;
    std::unique_ptr<Ticker> ticker_;
    // Shared with the request on its way, which may arrive after this view has gone.
    std::shared_ptr<OwnSession> ownSession_;
    bool onScreen_ = false;

    QWidget* codePage_ = nullptr;
    QWidget* pairedPage_ = nullptr;
    QWidget* expiredPage_ = nullptr;
    QRCodeLabel* qrCode_ = nullptr;
    QLabel* manualCode_ = nullptr;
    QLabel* countdown_ = nullptr;
    QLabel* pairedWith_ = nullptr;
    std::unique_ptr<ModelObservation> observation_;
};

} // namespace orvik::helper
