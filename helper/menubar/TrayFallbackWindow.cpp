#include "menubar/TrayFallbackWindow.hpp"

#include "model/MenuPlace.hpp"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QToolButton>

namespace orvik::helper {
namespace {

constexpr int glyphSide = 24;
// The buttons a title bar shows beside the title, each about a line high with some padding: window managers show
// all three even for a window that asks for fewer, and one that centres the title keeps as much room on the other
// side.
constexpr int titleBarButtons = 3;
constexpr int titleBarButtonPadding = 6;

} // namespace

TrayFallbackWindow::TrayFallbackWindow(QMenu& menu, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint),
      button_(new QToolButton(this)) {
    const QString title = QString::fromUtf8(menuWindowTitle.data(), static_cast<qsizetype>(menuWindowTitle.size()));
    setWindowTitle(title);
    button_->setText(title);
    button_->setIconSize({glyphSide, glyphSide});
    button_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button_->setPopupMode(QToolButton::InstantPopup);
    button_->setMenu(&menu);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(button_);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    const QMargins margins = layout->contentsMargins();
    button_->setMinimumWidth(titleBarWidth() - margins.left() - margins.right());
}

int TrayFallbackWindow::titleBarWidth() const {
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    return metrics.horizontalAdvance(windowTitle()) + 2 * titleBarButtons * (metrics.height() + titleBarButtonPadding);
}

void TrayFallbackWindow::setIcon(const QIcon& icon) {
    setWindowIcon(icon);
    button_->setIcon(icon);
}

void TrayFallbackWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    showMinimized();
}

} // namespace orvik::helper
