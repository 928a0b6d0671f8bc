#pragma once

#include <QWidget>

class QLabel;

namespace orvik::helper {

// The title and message of an onboarding step, centred; the message wraps and is never cut.
class OnboardingStepText : public QWidget {
public:
    OnboardingStepText(const QString& title, const QString& message, QWidget* parent = nullptr);

    void setTexts(const QString& title, const QString& message);
    QString title() const;
    QString message() const;

private:
    QLabel* title_;
    QLabel* message_;
};

} // namespace orvik::helper
