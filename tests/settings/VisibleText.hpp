#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QStringList>
#include <QWidget>
#include <gtest/gtest.h>

#include <ostream>

// Texts print as texts in failure messages.
inline std::ostream& operator<<(std::ostream& out, const QString& text) {
    return out << '"' << text.toStdString() << '"';
}

namespace orvik::test {

// Whether the user can see `widget` now: it and every ancestor up to `root` are shown.
inline bool isShown(const QWidget* widget, const QWidget* root) {
    for (const QWidget* at = widget; at && at != root; at = at->parentWidget()) {
        if (at->isHidden()) return false;
    }
    return true;
}

// What a label, group, button or picker shows of its own; empty for other widgets.
inline QString ownText(const QWidget* widget) {
    if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    if (auto* group = qobject_cast<const QGroupBox*>(widget)) return group->title();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
    if (auto* box = qobject_cast<const QComboBox*>(widget)) return box->currentText();
    return {};
}

// Every text the user sees under `root`, in layout order: labels, group titles, buttons, picker choices.
inline QStringList visibleTexts(const QWidget* root) {
    QStringList texts;
    for (const QWidget* widget : root->findChildren<QWidget*>()) {
        if (isShown(widget, root) && !ownText(widget).isEmpty()) texts << ownText(widget);
    }
    return texts;
}

// Fails for every shown label, button or picker under `root` that is narrower or lower than its text needs.
inline void expectNothingClipped(const QWidget* root) {
    for (const QWidget* widget : root->findChildren<QWidget*>()) {
        if (!isShown(widget, root)) continue;
        if (auto* label = qobject_cast<const QLabel*>(widget)) {
            if (label->wordWrap()) {
                EXPECT_GE(label->height(), label->heightForWidth(label->width())) << label->text().toStdString();
            } else {
                EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
            }
        } else if (qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QComboBox*>(widget)) {
            EXPECT_GE(widget->width(), widget->minimumSizeHint().width()) << widget->objectName().toStdString();
        }
    }
}

} // namespace orvik::test
