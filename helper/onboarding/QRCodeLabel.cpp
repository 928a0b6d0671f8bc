#include "onboarding/QRCodeLabel.hpp"

#include "onboarding/Typography.hpp"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace orvik::helper {

QRCodeLabel::QRCodeLabel(int side, QWidget* parent) : QWidget(parent), side_(side) {
    setFixedSize(side, side);
}

void QRCodeLabel::setPicture(std::optional<QRCode::Picture> picture) {
    if (picture && picture->modules > 0) {
        modulesImage_ =
            picture->image.scaled(picture->modules, picture->modules, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        modules_ = picture->modules;
    } else {
        modulesImage_ = {};
        modules_.reset();
    }
    update();
}

int QRCodeLabel::modulePixels(int modules, int side, double ratio) {
    if (modules <= 0) return 1;
    return std::max(1, static_cast<int>(std::lround(side * ratio / modules)));
}

void QRCodeLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!modules_) {
        QColor grey = Typography::secondaryColor(palette());
        grey.setAlphaF(0.2f);
        painter.fillRect(rect(), grey);
        return;
    }
    const double ratio = devicePixelRatioF();
    const int pixels = *modules_ * modulePixels(*modules_, side_, ratio);
    QImage scaled = modulesImage_.scaled(pixels, pixels, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    scaled.setDevicePixelRatio(ratio);
    // Centred on a whole device pixel, so module edges fall on pixel edges.
    const double offset = std::floor((side_ * ratio - pixels) / 2) / ratio;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QPointF(offset, offset), scaled);
}

} // namespace orvik::helper
