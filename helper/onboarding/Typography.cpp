#include "onboarding/Typography.hpp"

#include <QLabel>

namespace orvik::helper {
namespace {

struct Look {
    double scale;
    QFont::Weight weight;
};

Look lookOf(Typography::Style style) {
    switch (style) {
    case Typography::Style::headline: return {1.0, QFont::Bold};
    case Typography::Style::title2: return {1.55, QFont::Bold};
    case Typography::Style::title3: return {1.3, QFont::DemiBold};
    case Typography::Style::callout: return {0.95, QFont::Normal};
    case Typography::Style::caption: return {0.85, QFont::Normal};
    case Typography::Style::body: break;
    }
    return {1.0, QFont::Normal};
}

} // namespace

QColor Typography::secondaryColor(const QPalette& palette) {
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.62f);
    return color;
}

void Typography::apply(QLabel* label, Style style, bool secondary) {
    const Look look = lookOf(style);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * look.scale);
    font.setWeight(look.weight);
    label->setFont(font);
    if (secondary) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, secondaryColor(palette));
        label->setPalette(palette);
    }
}

QLabel* Typography::plainLabel(const QString& text, Style style, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    apply(label, style);
    return label;
}

QLabel* Typography::wrappingLabel(const QString& text, Style style, bool secondary, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    apply(label, style, secondary);
    return label;
}

} // namespace orvik::helper
