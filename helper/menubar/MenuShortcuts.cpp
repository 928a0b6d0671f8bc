#include "menubar/MenuShortcuts.hpp"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>

namespace orvik::helper {
namespace {

// Popups open at once: the menu, a submenu of it, a window's drop-down list.
constexpr int popupsAtMost = 8;

void closePopups() {
    for (int closed = 0; closed < popupsAtMost; ++closed) {
        QWidget* popup = QApplication::activePopupWidget();
        if (popup == nullptr) return;
        popup->close();
    }
}

} // namespace

MenuShortcuts::MenuShortcuts(QMenu& menu, QObject* parent) : QObject(parent), menu_(menu) {
    QCoreApplication::instance()->installEventFilter(this);
}

bool MenuShortcuts::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return QObject::eventFilter(watched, event);
    const auto* press = static_cast<QKeyEvent*>(event);
    if (press->modifiers() == Qt::NoModifier) return QObject::eventFilter(watched, event);
    const QKeySequence pressed(press->keyCombination());
    for (QAction* action : menu_.actions()) {
        if (action->shortcut().isEmpty() || action->shortcut() != pressed || !action->isEnabled()) continue;
        // As choosing it in the menu would: the menu closes first.
        closePopups();
        action->trigger();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace orvik::helper
