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
    // The content may have changed since the layout last ran; the layout pass this asks for fits again.
    content->invalidate();
    takeNeededSize();
}

void ContentWindow::takeNeededSize() {
    QLayout* content = layout();
    if (!content) return;
    const int needed =
        content->hasHeightForWidth() ? content->totalHeightForWidth(width_) : content->totalSizeHint().height();
    const QSize size(width_, std::max(needed, minimumHeight_));
    // Only a real change: fixing a size asks for a layout pass, and every pass ends here.
    if (size != minimumSize() || size != maximumSize()) setFixedSize(size);
}

bool ContentWindow::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    // The layout has just run: its hints are current, and invalidating it here would ask for the next pass.
    if (event->type() == QEvent::LayoutRequest) takeNeededSize();
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
