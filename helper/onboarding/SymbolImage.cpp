#include "onboarding/SymbolImage.hpp"

#include "onboarding/Typography.hpp"

#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QSvgRenderer>

#include <mutex>

// A static library's resources are registered only when asked for by name.
static void registerBundledSymbols() {
    Q_INIT_RESOURCE(symbols);
}

namespace orvik::helper {
namespace {

QPixmap bundled(const QString& name, int side, double ratio, const QColor& tint) {
    static std::once_flag registered;
    std::call_once(registered, registerBundledSymbols);
    QPixmap pixmap(QSize(side, side) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/onboarding/symbols/%1.svg").arg(name));
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(0, 0, side, side));
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(0, 0, side, side), tint);
    return pixmap;
}

} // namespace

QLabel* SymbolImage::make(const QString& name, const QString& themeName, int side, QColor tint, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setAlignment(Qt::AlignCenter);
    label->setAccessibleName({});
    label->setAccessibleDescription({});
    label->setFocusPolicy(Qt::NoFocus);
    set(label, name, themeName, side, tint);
    return label;
}

void SymbolImage::set(QLabel* label, const QString& name, const QString& themeName, int side, QColor tint) {
    const double ratio = label->devicePixelRatioF();
    if (!themeName.isEmpty() && QIcon::hasThemeIcon(themeName)) {
        label->setPixmap(QIcon::fromTheme(themeName).pixmap(QSize(side, side), ratio));
    } else {
        label->setPixmap(bundled(name, side, ratio, tint.isValid() ? tint : Typography::accentColor(label->palette())));
    }
    label->setObjectName(QStringLiteral("symbol:") + name);
}

} // namespace orvik::helper
