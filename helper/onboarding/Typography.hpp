#pragma once

#include <QColor>
#include <QPalette>

class QLabel;
class QWidget;

namespace orvik::helper {

// The text styles of the windows, relative to the application font, and their two colours.
class Typography {
public:
    enum class Style { body, headline, title2, title3, callout, caption };

    Typography() = delete;

    // Sets the label's font to the style; a secondary label is drawn in the secondary colour.
    static void apply(QLabel* label, Style style, bool secondary = false);
    // A label of data (a name or a code) shown verbatim, never as rich text.
    static QLabel* plainLabel(const QString& text, Style style, QWidget* parent = nullptr);
    // A fixed, wrapping, centred text.
    static QLabel* wrappingLabel(const QString& text, Style style, bool secondary, QWidget* parent = nullptr);

    static QColor accentColor(const QPalette& palette) { return palette.color(QPalette::Highlight); }
    static QColor secondaryColor(const QPalette& palette);
};

} // namespace orvik::helper
