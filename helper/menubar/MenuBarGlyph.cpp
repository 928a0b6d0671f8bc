#include "menubar/MenuBarGlyph.hpp"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPalette>
#include <QPixmap>
#include <QTransform>

#include <array>
#include <cmath>
#include <optional>

namespace orvik::helper {
namespace {

using State = MenuBarGlyphState;

// Sizes a tray commonly asks for; any other is drawn as well.
const QList<QSize> usualSizes{{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}};

// The shapes are laid out in design points with the origin at the bottom left and y upwards, but built `fine`
// times larger: path operations turn curves into straight segments about a unit long, which scaled back are a
// fraction of a pixel even at large sizes.
constexpr double fine = 16.0;

QRectF enlarged(const QRectF& box) {
    return {box.x() * fine, box.y() * fine, box.width() * fine, box.height() * fine};
}

QPainterPath oval(const QRectF& box) {
    QPainterPath path;
    path.addEllipse(enlarged(box));
    return path;
}

QPainterPath stroke(const QPainterPath& path, double width, Qt::PenCapStyle cap = Qt::FlatCap) {
    QPainterPathStroker stroker;
    stroker.setWidth(width * fine);
    stroker.setCapStyle(cap);
    return stroker.createStroke(path);
}

QPainterPath line(QPointF from, QPointF to) {
    QPainterPath path(from * fine);
    path.lineTo(to * fine);
    return path;
}

QPainterPath frame() {
    QPainterPath rounded;
    rounded.addRoundedRect(enlarged(QRectF(2, 3.5, 14, 11)), 3 * fine, 3 * fine);
    return stroke(rounded, 1.5);
}

// A cut erases what lies under it (leaving a transparent margin), then the thin shape is drawn into the gap.
QPainterPath slashed(const QPainterPath& shape) {
    return shape.subtracted(stroke(line({2, 16}, {16, 2}), 3.5))
        .united(stroke(line({2.5, 15.5}, {15.5, 2.5}), 1.5, Qt::RoundCap));
}

QPainterPath viewing(const QPainterPath& shape) {
    return shape.subtracted(oval({11, 9.5, 7, 7}))
        .united(stroke(oval({11.75, 10.25, 5.5, 5.5}), 1.25))
        .united(oval({13.5, 12, 2, 2}));
}

QPainterPath designShape(State state) {
    const QPainterPath smallDot = oval({10, 6, 3.5, 3.5});
    // The idle dot grown by 0.75 on every side.
    const QPainterPath largeDot = oval({9.25, 5.25, 5, 5});
    switch (state) {
    case State::idle: return frame().united(smallDot);
    case State::slashed: return slashed(frame().united(smallDot));
    case State::connected: return frame().united(largeDot).united(oval({13.5, 12, 4.5, 4.5}));
    case State::viewing: return viewing(frame().united(largeDot));
    }
    return frame().united(smallDot);
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

// Draws the glyph on demand at the size asked for: in a fixed ink, or in the palette's colours when none is given.
class GlyphIconEngine : public QIconEngine {
public:
    GlyphIconEngine(State state, std::optional<QColor> ink, QString name)
        : state_(state), ink_(ink), name_(std::move(name)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State /*state*/) override {
        const qreal ratio = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
        const int side = std::min(rect.width(), rect.height());
        const QImage glyph = MenuBarGlyph::image(state_, side, ratio, colour(mode));
        const QRect square(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2, side, side);
        painter->drawImage(square, glyph);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // `size` counts device pixels already; the ratio only labels the result.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State /*state*/, qreal scale) override {
        const int side = std::min(size.width(), size.height());
        QImage glyph = MenuBarGlyph::image(state_, side, 1.0, colour(mode));
        glyph.setDevicePixelRatio(scale);
        return QPixmap::fromImage(glyph);
    }

    QList<QSize> availableSizes(QIcon::Mode /*mode*/, QIcon::State /*state*/) override { return usualSizes; }
    QIconEngine* clone() const override { return new GlyphIconEngine(state_, ink_, name_); }
    QString key() const override { return QStringLiteral("OrvikMenuBarGlyph"); }
    QString iconName() override { return name_; }

private:
    QColor colour(QIcon::Mode mode) const { return ink_ ? *ink_ : paletteColour(mode); }

    State state_;
    std::optional<QColor> ink_;
    QString name_;
};

// An SVG path's data for `path`, numbers to a hundredth of a point.
QString svgPathData(const QPainterPath& path) {
    QString data;
    auto number = [](qreal value) { return QString::number(std::round(value * 100) / 100, 'g', 8); };
    for (int index = 0; index < path.elementCount(); ++index) {
        const QPainterPath::Element element = path.elementAt(index);
        switch (element.type) {
        case QPainterPath::MoveToElement: data += QLatin1Char('M'); break;
        case QPainterPath::LineToElement: data += QLatin1Char('L'); break;
        case QPainterPath::CurveToElement: data += QLatin1Char('C'); break;
        case QPainterPath::CurveToDataElement: data += QLatin1Char(' '); break;
        }
        data += number(element.x) + QLatin1Char(' ') + number(element.y);
    }
    return data;
}

} // namespace

QPainterPath MenuBarGlyph::shape(State state) {
    // Made once per state: the shapes never change, and a tray repaints the icon at each state change.
    static const std::array<QPainterPath, 4> shapes = [] {
        std::array<QPainterPath, 4> made;
        for (State each : {State::idle, State::connected, State::viewing, State::slashed}) {
            // Back to design points, and from y upwards to y downwards.
            made.at(static_cast<std::size_t>(each)) =
                QTransform(1 / fine, 0, 0, -1 / fine, 0, designSize).map(designShape(each));
        }
        return made;
    }();
    return shapes.at(static_cast<std::size_t>(state));
}

QImage MenuBarGlyph::image(State state, int logicalSize, qreal devicePixelRatio, const QColor& colour) {
    const int pixels = std::max(1, static_cast<int>(std::lround(logicalSize * devicePixelRatio)));
    QImage result(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    {
        QPainter painter(&result);
        painter.setRenderHint(QPainter::Antialiasing);
        const double scale = pixels / designSize;
        painter.scale(scale, scale);
        painter.fillPath(shape(state), colour);
    }
    result.setDevicePixelRatio(devicePixelRatio);
    return result;
}

const QIcon& MenuBarGlyph::icon(State state) {
    static std::array<std::optional<QIcon>, 4> icons;
    std::optional<QIcon>& slot = icons.at(static_cast<std::size_t>(state));
    if (!slot) slot.emplace(new GlyphIconEngine(state, std::nullopt, {}));
    return *slot;
}

QIcon MenuBarGlyph::trayIcon(State state, const QColor& ink, bool named) {
    return QIcon(new GlyphIconEngine(state, ink, named ? symbolicIconName(state) : QString()));
}

QString MenuBarGlyph::symbolicIconName(State state) {
    switch (state) {
    case State::idle: return QStringLiteral("orvik-helper-idle-symbolic");
    case State::connected: return QStringLiteral("orvik-helper-connected-symbolic");
    case State::viewing: return QStringLiteral("orvik-helper-viewing-symbolic");
    case State::slashed: return QStringLiteral("orvik-helper-slashed-symbolic");
    }
    return QStringLiteral("orvik-helper-idle-symbolic");
}

// One path in the current colour: GTK-based hosts recolour a symbolic icon's fills, KDE's the ColorScheme-Text
// class.
QByteArray MenuBarGlyph::symbolicSvg(State state) {
    const QPainterPath path = shape(state);
    const QString rule = path.fillRule() == Qt::WindingFill ? QStringLiteral("nonzero") : QStringLiteral("evenodd");
    const QString side = QString::number(designSize);
    return QStringLiteral(
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" viewBox=\"0 0 %1 %1\">\n"
               "<style id=\"current-color-scheme\" type=\"text/css\">.ColorScheme-Text { color:#232629; }"
               "</style>\n"
               "<path class=\"ColorScheme-Text\" fill=\"currentColor\" fill-rule=\"%2\" d=\"%3\"/>\n"
               "</svg>\n")
        .arg(side, rule, svgPathData(path))
        .toUtf8();
}

} // namespace orvik::helper
