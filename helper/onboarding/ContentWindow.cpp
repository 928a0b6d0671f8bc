#include "onboarding/ContentWindow.hpp"

#include <QKeyEvent>
#include <QLayout>
#include <QPushButton>

#include <algorithm>

namespace orvik::helper {

ContentWindow::ContentWindow(int width, int minimumHeight, QWidget* parent)
    : QWidget(parent), width_(width), minimumHeight_(minimumHeight) {
    setFixedSize(width_, minimumHeight_);
}

void ContentWindow::setMinimumContentHeight(int height) {
    minimumHeight_ = height;
    fit();
}

void ContentWindow::fit() {
    QLayout* content = layout();
    if (!content) return;
    content->invalidate();
    const int needed =
        content->hasHeightForWidth() ? content->totalHeightForWidth(width_) : content->totalSizeHint().height();
    setFixedSize(width_, std::max(needed, minimumHeight_));
}

bool ContentWindow::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest) fit();
    return handled;
}

void ContentWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (QPushButton* button = defaultButton(); button && button->isVisibleTo(this) && button->isEnabled()) {
            button->click();
            return;
        }
        break;
    case Qt::Key_Escape: cancel(); return;
    default: break;
    }
    QWidget::keyPressEvent(event);
}

} // namespace orvik::helper
