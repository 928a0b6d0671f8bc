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
// neither starts nor cancels a session when it appears or goes: its hosts do, through it, so that a host ends
// only a session asked for on its behalf, never one that another window opened since. GUI thread only.
class PairingView : public QWidget {
public:
    using OnPaired = std::function<void(const PairedDevice&)>;

    static constexpr int qrSide = 260;
    static constexpr int qrPadding = 14;

    PairingView(std::shared_ptr<OnboardingModel> model, ViewTiming timing, OnPaired onPaired = {},
                QWidget* parent = nullptr);
    ~PairingView() override;

    PairingPresentation::State state() const { return state_; }

    // Asks for a session of this view's own.
    void startSession();
    // A session of its own shown from now on: a device paired before no longer counts as paired here.
    void showNewCode();
    // Ends the session of its own while it is open; one still on its way is ended when it arrives.
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
