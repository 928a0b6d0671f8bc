#include "menubar/SubmenuPlacement.hpp"

#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

namespace orvik::helper {
namespace {

// The open menus above `menu`'s own: its menu's menu and so on.
bool coversAMenuAbove(const QMenu& menu, const QRect& where) {
    const auto* own = qobject_cast<const QMenu*>(menu.parentWidget());
    for (const auto* above = own ? qobject_cast<const QMenu*>(own->parentWidget()) : nullptr; above != nullptr;
         above = qobject_cast<const QMenu*>(above->parentWidget())) {
        if (above->isVisible() && above->geometry().intersects(where)) return true;
    }
    return false;
}

} // namespace

SubmenuPlacement::SubmenuPlacement(QMenu& submenu) : QObject(&submenu) {
    submenu.installEventFilter(this);
}

void SubmenuPlacement::keepBesideItsMenu(QMenu& submenu) {
    new SubmenuPlacement(submenu);
}

bool SubmenuPlacement::eventFilter(QObject* watched, QEvent* event) {
    auto* submenu = qobject_cast<QMenu*>(watched);
    const auto* own = submenu ? qobject_cast<const QMenu*>(submenu->parentWidget()) : nullptr;
    // Placed while being shown, before the window maps.
    if (event->type() != QEvent::Show || own == nullptr || !coversAMenuAbove(*submenu, submenu->geometry())) {
        return QObject::eventFilter(watched, event);
    }
    QRect other = submenu->geometry();
    const QRect beside = own->geometry();
    if (other.center().x() >= beside.center().x()) {
        other.moveRight(beside.left() - 1);
    } else {
        other.moveLeft(beside.right() + 1);
    }
    const QScreen* screen = submenu->screen() ? submenu->screen() : QGuiApplication::primaryScreen();
    if (screen->geometry().contains(other) && !coversAMenuAbove(*submenu, other)) submenu->move(other.topLeft());
    return QObject::eventFilter(watched, event);
}

} // namespace orvik::helper
