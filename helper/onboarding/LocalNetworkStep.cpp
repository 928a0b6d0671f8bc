#include "onboarding/LocalNetworkStep.hpp"

#include "onboarding/OnboardingStepText.hpp"

#include <QPushButton>
#include <QVBoxLayout>

namespace orvik::helper {

LocalNetworkStep::LocalNetworkStep(std::shared_ptr<OnboardingModel> model, std::function<void()> next, QWidget* parent)
    : QWidget(parent), model_(std::move(model)), next_(std::move(next)), text_(new OnboardingStepText({}, {})),
      button_(new QPushButton) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    layout->addWidget(text_);
    button_->setDefault(true);
    connect(button_, &QPushButton::clicked, this, [this] { pressed(); });
    layout->addWidget(button_, 0, Qt::AlignHCenter);
    layout->addStretch();
    observation_ = std::make_unique<ModelObservation>(model_, [this] { refresh(); });
    refresh();
}

LocalNetworkStep::Branch LocalNetworkStep::branch(bool started, const ListenerStatus& status) {
    if (!started) return Branch::firstTime;
    if (status.get<ListenerStatus::Ready>()) return Branch::ready;
    if (status.get<ListenerStatus::LocalNetworkDenied>()) return Branch::denied;
    return Branch::waiting;
}

QPushButton* LocalNetworkStep::defaultButton() const {
    return branch_ == Branch::denied || branch_ == Branch::waiting ? nullptr : button_;
}

void LocalNetworkStep::refresh() {
    branch_ = branch(started_, model_->listenerStatus());
    switch (branch_) {
    case Branch::ready:
        text_->setTexts(QStringLiteral("Your iPhone can find this computer"),
                        QStringLiteral("Orvik Helper is ready on your local network."));
        button_->setText(QStringLiteral("Continue"));
        break;
    case Branch::denied:
        // There is no settings pane to open on Linux, so this branch offers no button.
        text_->setTexts(QStringLiteral("Local network access is off"),
                        QStringLiteral("Your iPhone can’t find this computer."));
        break;
    case Branch::firstTime:
    case Branch::waiting:
        text_->setTexts(QStringLiteral("Find this computer from your iPhone"),
                        QStringLiteral("Orvik Helper uses your local network so your iPhone can find this computer. "
                                       "Nothing leaves your network."));
        button_->setText(branch_ == Branch::waiting ? QStringLiteral("Waiting…") : QStringLiteral("Continue"));
        break;
    }
    button_->setVisible(branch_ != Branch::denied);
    button_->setEnabled(branch_ != Branch::waiting);
}

void LocalNetworkStep::pressed() {
    if (branch_ == Branch::ready) {
        const auto next = next_;
        next();
        return;
    }
    started_ = true;
    refresh();
    model_->startServer();
}

} // namespace orvik::helper
