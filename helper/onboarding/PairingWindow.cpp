#include "onboarding/PairingWindow.hpp"

#include "onboarding/PairingView.hpp"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace orvik::helper {
namespace {

constexpr int pairingMargin = 28;
constexpr int spacing = 18;

} // namespace

PairingWindow::PairingWindow(std::shared_ptr<OnboardingModel> model, WindowOpening& windows, ViewTiming timing)
    : ContentWindow(contentWidth, 0), model_(std::move(model)), windows_(windows),
      view_(new PairingView(model_, std::move(timing))), button_(new QPushButton) {
    setWindowTitle(QStringLiteral("Pair iPhone"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(pairingMargin, pairingMargin, pairingMargin, pairingMargin);
    layout->setSpacing(spacing);
    layout->addWidget(view_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    button_->setObjectName(QStringLiteral("closeButton"));
    connect(button_, &QPushButton::clicked, this, [this] { cancel(); });
    buttons->addWidget(button_);
    layout->addLayout(buttons);
    observation_ = std::make_unique<ModelObservation>(model_, [this] { refresh(); });
    refresh();
}

PairingWindow::~PairingWindow() = default;

void PairingWindow::refresh() {
    button_->setText(model_->pairing() ? QStringLiteral("Cancel") : QStringLiteral("Done"));
    fit();
}

void PairingWindow::startNewSession() {
    if (view_->awaitsSession()) return;
    view_->showNewCode();
}

void PairingWindow::cancel() {
    view_->endSession();
    windows_.close(WindowID::pairing);
}

void PairingWindow::showEvent(QShowEvent* event) {
    ContentWindow::showEvent(event);
    view_->appear();
    // A restore from the taskbar is not an opening.
    if (!event->spontaneous() && !model_->pairing()) view_->startSession();
}

void PairingWindow::closeEvent(QCloseEvent* event) {
    view_->endSession();
    ContentWindow::closeEvent(event);
}

} // namespace orvik::helper
