#include "menubar/MenuBarGlyph.hpp"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

#include <array>
#include <cmath>
#include <optional>

namespace orvik::helper {
namespace {

using State = MenuBarGlyphState;

// Sizes a tray commonly asks for; any other is drawn as well.
const QList<QSize> usualSizes{{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}};

void fillOval(QPainter& painter, const QRectF& box, const QColor& colour) {
    QPainterPath path;
    path.addEllipse(box);
    painter.fillPath(path, colour);
}

// Erases what lies under the shape, then goes back to painting normally.
void clearOval(QPainter& painter, const QRectF& box) {
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    fillOval(painter, box, Qt::black);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void strokeLine(QPainter& painter, QLineF line, double width, Qt::PenCapStyle cap, const QColor& colour) {
    painter.setPen(QPen(colour, width, Qt::SolidLine, cap));
    painter.drawLine(line);
}

void drawFrame(QPainter& painter, const QColor& colour) {
    QPainterPath frame;
    frame.addRoundedRect(QRectF(2, 3.5, 14, 11), 3, 3);
    painter.strokePath(frame, QPen(colour, 1.5));
}

void drawSlash(QPainter& painter, const QColor& colour) {
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    strokeLine(painter, {2, 16, 16, 2}, 3.5, Qt::FlatCap, Qt::black);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    strokeLine(painter, {2.5, 15.5, 15.5, 2.5}, 1.5, Qt::RoundCap, colour);
}

void drawViewingRing(QPainter& painter, const QColor& colour) {
    clearOval(painter, {11, 9.5, 7, 7});
    QPainterPath ring;
    ring.addEllipse(QRectF(11.75, 10.25, 5.5, 5.5));
    painter.strokePath(ring, QPen(colour, 1.25));
    fillOval(painter, {13.5, 12, 2, 2}, colour);
}

// Draws in design points with the origin at the bottom left and y upwards.
void draw(QPainter& painter, State state, const QColor& colour) {
    drawFrame(painter, colour);
    switch (state) {
    case State::idle: fillOval(painter, {10, 6, 3.5, 3.5}, colour); break;
    case State::slashed:
        fillOval(painter, {10, 6, 3.5, 3.5}, colour);
        drawSlash(painter, colour);
        break;
    case State::connected:
        fillOval(painter, {9.25, 5.25, 5, 5}, colour);
        fillOval(painter, {13.5, 12, 4.5, 4.5}, colour);
        break;
    case State::viewing:
        fillOval(painter, {9.25, 5.25, 5, 5}, colour);
        drawViewingRing(painter, colour);
        break;
    }
}

QColor paletteColour(QIcon::Mode mode) {
    const QPalette palette = QGuiApplication::palette();
    switch (mode) {
    case QIcon::Disabled: return palette.color(QPalette::Disabled, QPalette::WindowText);
    case QIcon::Selected: return palette.color(QPalette::HighlightedText);
    case QIcon::Normal:
    case QIcon::Active: break;
    }
    return palette.color(QPalette::WindowText);
}

class GlyphIconEngine : public QIconEngine {
public:
    explicit GlyphIconEngine(State state) : state_(state) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State /*state*/) override {
        const qreal ratio = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
        const int side = std::min(rect.width(), rect.height());
        const QImage glyph = MenuBarGlyph::image(state_, side, ratio, paletteColour(mode));
        const QRect square(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2, side, side);
        painter->drawImage(square, glyph);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // `size` counts device pixels already; the ratio only labels the result.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State /*state*/, qreal scale) override {
        const int side = std::min(size.width(), size.height());
        QImage glyph = MenuBarGlyph::image(state_, side, 1.0, paletteColour(mode));
        glyph.setDevicePixelRatio(scale);
        return QPixmap::fromImage(glyph);
    }

    QList<QSize> availableSizes(QIcon::Mode /*mode*/, QIcon::State /*state*/) override { return usualSizes; }
    QIconEngine* clone() const override { return new GlyphIconEngine(state_); }
    QString key() const override { return QStringLiteral("OrvikMenuBarGlyph"); }
    QString iconName() override { return {}; }

private:
    State state_;
};

} // namespace

QImage MenuBarGlyph::image(State state, int logicalSize, qreal devicePixelRatio, const QColor& colour) {
    const int pixels = std::max(1, static_cast<int>(std::lround(logicalSize * devicePixelRatio)));
    QImage result(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    {
        QPainter painter(&result);
        painter.setRenderHint(QPainter::Antialiasing);
        const double scale = pixels / designSize;
        painter.translate(0, pixels);
        painter.scale(scale, -scale);
        draw(painter, state, colour);
    }
    result.setDevicePixelRatio(devicePixelRatio);
    return result;
}

const QIcon& MenuBarGlyph::icon(State state) {
    static std::array<std::optional<QIcon>, 4> icons;
    std::optional<QIcon>& slot = icons.at(static_cast<std::size_t>(state));
    if (!slot) slot.emplace(new GlyphIconEngine(state));
    return *slot;
}

} // namespace orvik::helper
