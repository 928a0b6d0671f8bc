#pragma once

#include <QColor>
#include <QString>

class QLabel;
class QWidget;

namespace orvik::helper {

// The windows' decorative pictures: an icon of the desktop's theme, or else the bundled drawing tinted with the
// given colour. Hidden from accessibility.
class SymbolImage {
public:
    SymbolImage() = delete;

    // `name` names the bundled drawing; `themeName`, when not empty, the freedesktop icon tried first. An
    // invalid tint means the accent colour.
    static QLabel* make(const QString& name, const QString& themeName, int side, QColor tint = {},
                        QWidget* parent = nullptr);
    static void set(QLabel* label, const QString& name, const QString& themeName, int side, QColor tint = {});
};

} // namespace orvik::helper
