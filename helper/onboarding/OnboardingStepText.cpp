#include "onboarding/OnboardingStepText.hpp"

#include "onboarding/Typography.hpp"

#include <QLabel>
#include <QVBoxLayout>

namespace orvik::helper {

OnboardingStepText::OnboardingStepText(const QString& title, const QString& message, QWidget* parent)
    : QWidget(parent), title_(Typography::wrappingLabel(title, Typography::Style::title2, false)),
      message_(Typography::wrappingLabel(message, Typography::Style::body, true)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(title_);
    layout->addWidget(message_);
}

void OnboardingStepText::setTexts(const QString& title, const QString& message) {
    title_->setText(title);
    message_->setText(message);
}

QString OnboardingStepText::title() const {
    return title_->text();
}
QString OnboardingStepText::message() const {
    return message_->text();
}

} // namespace orvik::helper
