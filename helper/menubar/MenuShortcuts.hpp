#pragma once

#include <QObject>

class QMenu;

namespace orvik::helper {

// Makes the shortcuts the tray menu shows ("Ctrl+,", "Ctrl+Q") work while the menu is open and in every window
// of the application. Qt alone would not: a menu action's shortcut counts only while its menu hangs from a menu
// bar of the active window, and the tray menu hangs from none. Watches the application's key presses; used on the
// GUI thread.
class MenuShortcuts : public QObject {
    Q_OBJECT
public:
    explicit MenuShortcuts(QMenu& menu, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMenu& menu_;
};

} // namespace orvik::helper
