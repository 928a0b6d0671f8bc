#include "onboarding/AllowControlStep.hpp"

#include "onboarding/OnboardingStepText.hpp"

#include <QPushButton>
#include <QVBoxLayout>

namespace orvik::helper {

AllowControlStep::AllowControlStep(std::shared_ptr<OnboardingModel> model, const ViewTiming& timing,
                                   std::function<void()> next, QWidget* parent)
    : QWidget(parent), model_(model), watch_(std::move(model), timing.makeTicker(), std::move(next)),
      allowControl_(new QPushButton(QStringLiteral("Allow Control"))) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    layout->addWidget(new OnboardingStepText(
        QStringLiteral("Allow control"),
        QStringLiteral("Orvik can move the pointer and type for you only in an X11 session. Log out, choose an Xorg "
                       "session on the login screen, log in, then click Allow Control.")));
    allowControl_->setDefault(true);
    connect(allowControl_, &QPushButton::clicked, this, [this] { model_->requestPermission(); });
    layout->addWidget(allowControl_, 0, Qt::AlignHCenter);
    layout->addStretch();
}

void AllowControlStep::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    watch_.start();
}

void AllowControlStep::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    watch_.stop();
}

} // namespace orvik::helper
