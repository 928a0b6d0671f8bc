#include "onboarding/StepDots.hpp"

#include "onboarding/Typography.hpp"

#include <QPainter>

namespace orvik::helper {

StepDots::StepDots(int count, QWidget* parent) : QWidget(parent), count_(count) {
    setFixedSize(count_ * dotSide + (count_ - 1) * spacing, dotSide);
    setCurrent(0);
}

void StepDots::setCurrent(int index) {
    current_ = index;
    setAccessibleName(QStringLiteral("Step %1 of %2").arg(index + 1).arg(count_));
    update();
}

void StepDots::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QColor other = Typography::secondaryColor(palette());
    other.setAlphaF(0.3f);
    for (int dot = 0; dot < count_; ++dot) {
        painter.setBrush(dot == current_ ? Typography::accentColor(palette()) : other);
        painter.drawEllipse(QRectF(dot * (dotSide + spacing), 0, dotSide, dotSide));
    }
}

} // namespace orvik::helper
