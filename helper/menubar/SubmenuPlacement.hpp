#pragma once

#include <QObject>

class QMenu;

namespace orvik::helper {

// Keeps a nested submenu from covering the menus it was opened from. Qt opens every submenu to the right of its
// menu when it fits; a tray menu at the right edge of the screen opens its first submenu to the left, and the
// submenu of that one would then open to the right again, on top of the tray menu. When it would cover a menu
// further up, it opens on the other side of its own menu instead. Used on the GUI thread.
class SubmenuPlacement : public QObject {
    Q_OBJECT
public:
    // Watches `submenu` (whose parent widget is the menu it opens from) for as long as it lives.
    static void keepBesideItsMenu(QMenu& submenu);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit SubmenuPlacement(QMenu& submenu);
};

} // namespace orvik::helper
