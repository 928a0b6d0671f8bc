#include "menubar/TrayFallbackWindow.hpp"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QToolButton>

namespace orvik::helper {
namespace {

constexpr int glyphSide = 24;

} // namespace

TrayFallbackWindow::TrayFallbackWindow(QMenu& menu, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint),
      button_(new QToolButton(this)) {
    setWindowTitle(QStringLiteral("Orvik Helper"));
    button_->setText(QStringLiteral("Orvik Helper"));
    button_->setIconSize({glyphSide, glyphSide});
    button_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button_->setPopupMode(QToolButton::InstantPopup);
    button_->setMenu(&menu);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(button_);
    layout->setSizeConstraint(QLayout::SetFixedSize);
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
