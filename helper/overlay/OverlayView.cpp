#include "overlay/OverlayView.hpp"

#include "overlay/OverlayStyle.hpp"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

namespace orvik::helper {

namespace {

QRectF circleBounds(QPointF centre, double radius) {
    return {centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius};
}

QRegion circleRegion(QPointF centre, double radius) {
    return QRegion(circleBounds(centre, radius).toAlignedRect(), QRegion::Ellipse);
}

} // namespace

OverlayView::OverlayView(Backing backing)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
      backing_(backing) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    // Must be set before the native window exists: it picks a visual with an alpha channel.
    if (backing_ == Backing::translucent) setAttribute(Qt::WA_TranslucentBackground);
}

void OverlayView::refresh() {
    if (backing_ == Backing::shaped) setMask(shape());
    update();
}

void OverlayView::updateCursor(OverlayPoint cursor, bool hidden) {
    QPointF position(cursor.x, cursor.y);
    if (position == cursor_ && hidden == isDotHidden_) return;
    cursor_ = position;
    isDotHidden_ = hidden;
    refresh();
}

void OverlayView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(event->rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setPen(Qt::NoPen);
    if (backing_ == Backing::translucent)
        paintTranslucent(painter);
    else
        paintShaped(painter);
}

void OverlayView::paintTranslucent(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    if (drawsDot()) {
        for (const auto& circle : OverlayStyle::laserCircles(scale_)) {
            QColor fill = color_;
            fill.setAlphaF(static_cast<float>(circle.alpha));
            painter.setBrush(fill);
            painter.drawEllipse(circleBounds(cursor_, circle.radius));
        }
    } else if (mode_ == OverlayMode::spotlight) {
        QPainterPath dimmed;
        dimmed.addRect(rect());
        dimmed.addEllipse(circleBounds(cursor_, OverlayStyle::spotlightHoleRadius(scale_)));
        dimmed.setFillRule(Qt::OddEvenFill);
        QColor black(Qt::black);
        black.setAlphaF(static_cast<float>(OverlayStyle::spotlightDimAlpha));
        painter.fillPath(dimmed, black);
    }
}

void OverlayView::paintShaped(QPainter& painter) {
    // The window's shape already cuts the dot or the hole; what is inside gets one opaque colour.
    if (drawsDot())
        painter.fillRect(rect(), color_);
    else if (mode_ == OverlayMode::spotlight)
        painter.fillRect(rect(), Qt::black);
}

QRegion OverlayView::shape() const {
    if (drawsDot()) return circleRegion(cursor_, OverlayStyle::dotRadius * scale_);
    if (mode_ == OverlayMode::spotlight)
        return QRegion(rect()) - circleRegion(cursor_, OverlayStyle::spotlightHoleRadius(scale_));
    // An empty mask would mean no mask at all: one pixel outside the window shows nothing.
    return QRegion(-1, -1, 1, 1);
}

} // namespace orvik::helper
