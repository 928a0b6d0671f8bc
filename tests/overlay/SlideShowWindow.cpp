// A full-screen window standing in for a slide show: one solid green. It reports on its standard output when it
// is first drawn ("shown"), once it is active ("ready"), every mouse press ("press X Y") and every loss of
// activation ("focus-out").
//
//   orvik-test-slide-show [--bypass-window-manager]
// With the option the window bypasses the window manager, as some presentation programs' windows do: it is
// created above every window that exists already, the overlay included.
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

void report(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

class SlideShow final : public QWidget {
public:
    explicit SlideShow(Qt::WindowFlags flags) : QWidget(nullptr, flags) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), QColor(0, 128, 0));
        if (!shown_) report("shown");
        shown_ = true;
    }
    void mousePressEvent(QMouseEvent* event) override {
        QPoint position = event->globalPosition().toPoint();
        std::printf("press %d %d\n", position.x(), position.y());
        std::fflush(stdout);
    }
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::ActivationChange) {
            if (isActiveWindow() && !ready_) {
                ready_ = true;
                report("ready");
            } else if (!isActiveWindow() && ready_) {
                report("focus-out");
            }
        }
        QWidget::changeEvent(event);
    }

private:
    bool shown_ = false;
    bool ready_ = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    bool bypass = argc > 1 && QString::fromLocal8Bit(argv[1]) == "--bypass-window-manager";
    SlideShow window(bypass ? Qt::Window | Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint : Qt::Window);
    if (bypass) {
        window.setGeometry(QGuiApplication::primaryScreen()->geometry());
        window.show();
    } else {
        window.showFullScreen();
    }
    window.activateWindow();
    return app.exec();
}
