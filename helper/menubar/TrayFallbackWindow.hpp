#pragma once

#include <QWidget>

class QMenu;
class QToolButton;

namespace orvik::helper {

// A small window standing in for the tray where none runs, so the user can always pause and quit: it holds the
// tray's own menu behind one button. It has no close button (Quit is in the menu) and can be minimised; a close
// request from the window manager minimises it instead. It is wide enough for a title bar to show its whole
// title, which texts name it by. Used on the GUI thread.
class TrayFallbackWindow : public QWidget {
    Q_OBJECT
public:
    explicit TrayFallbackWindow(QMenu& menu, QWidget* parent = nullptr);

    void setIcon(const QIcon& icon);
    QToolButton& menuButton() { return *button_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // About what a title bar needs to show the whole title in a bold version of this window's font.
    int titleBarWidth() const;

    QToolButton* button_;
};

} // namespace orvik::helper
