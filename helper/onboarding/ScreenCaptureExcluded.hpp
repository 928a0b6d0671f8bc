#pragma once

#include <QPointer>
#include <QWidget>

#include <cstdint>

namespace orvik::helper {

// An invisible child widget that keeps its window blanked in this application's screen capture for as long as
// the widget is shown in it. X11 cannot hide a window from other programs: the window carries the
// CaptureExclusions window property, which our capture honours by painting the window black, also while it moves
// or changes size. The property is set before the window is first mapped, so no captured frame shows it.
class ScreenCaptureExcluded : public QWidget {
public:
    explicit ScreenCaptureExcluded(QWidget* parent = nullptr);
    ~ScreenCaptureExcluded() override;

    // Sets or removes the property on an X window of the application's display; does nothing off X11.
    static void setMarked(std::uint64_t window, bool marked);
    // Whether the X window carries the property.
    static bool isMarked(std::uint64_t window);

protected:
    bool event(QEvent* event) override;

private:
    void follow();
    void release();

    QPointer<QWidget> marked_;
    std::uint64_t markedWindow_ = 0;
};

} // namespace orvik::helper
