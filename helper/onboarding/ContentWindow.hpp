#pragma once

#include <QWidget>

class QPushButton;

namespace orvik::helper {

// A window sized to its content: a fixed width, then the height its wrapped texts need for that width, never
// below a minimum. Return presses the window's current main button, Escape runs its cancel action. Subclasses
// call fit() whenever their content changes. GUI thread only.
class ContentWindow : public QWidget {
public:
    ContentWindow(int width, int minimumHeight, QWidget* parent = nullptr);

    void fit();
    void setMinimumContentHeight(int height);

protected:
    // The button Return presses; none: Return does nothing.
    virtual QPushButton* defaultButton() const { return nullptr; }
    virtual void cancel() {}
    void keyPressEvent(QKeyEvent* event) override;
    // A child's content changed size (a view of its own changed state): fit again.
    bool event(QEvent* event) override;

private:
    // Takes the size the content needs now, when it differs from the window's.
    void takeNeededSize();

    const int width_;
    int minimumHeight_;
};

} // namespace orvik::helper
