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
// neither starts nor cancels a session when it appears or goes: its hosts do. GUI thread only.
class PairingView : public QWidget {
public:
    using OnPaired = std::function<void(const PairedDevice&)>;

    static constexpr int qrSide = 260;
    static constexpr int qrPadding = 14;

    PairingView(std::shared_ptr<OnboardingModel> model, ViewTiming timing, OnPaired onPaired = {},
                QWidget* parent = nullptr);
    ~PairingView() override;

    PairingPresentation::State state() const { return state_; }

private:
    QWidget* makeCodePage();
    QWidget* makePairedPage();
    QWidget* makeExpiredPage();
    void refresh();
    void showCode(const PairingInfo& info);
    void updateCountdown();
    void showNewCode();

    std::shared_ptr<OnboardingModel> model_;
    ViewTiming timing_;
    OnPaired onPaired_;
    Date shownAt_;
    std::optional<PairedDevice> lastPaired_;
    std::optional<PairingInfo> shownCode_;
    PairingPresentation::State state_ = PairingPresentation::State::expired;
    std::unique_ptr<Ticker> ticker_;

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
