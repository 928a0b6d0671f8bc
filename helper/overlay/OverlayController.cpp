#include "overlay/OverlayController.hpp"

#include "overlay/OverlayStyle.hpp"
#include "overlay/OverlayView.hpp"
#include "overlay/X11CompositingProbe.hpp"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <chrono>

namespace orvik::helper {

namespace {

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

OverlayRect rectOf(const QRect& rect) {
    return {double(rect.x()), double(rect.y()), double(rect.width()), double(rect.height())};
}

QRect qRectOf(const OverlayRect& rect) {
    return QRect(int(rect.x), int(rect.y), int(rect.width), int(rect.height));
}

OverlayPoint pointerPosition() {
    QPoint position = QCursor::pos();
    return {double(position.x()), double(position.y())};
}

// The screens, the primary one first: it stands in when no screen contains the pointer.
std::vector<OverlayRect> screensPrimaryFirst() {
    std::vector<OverlayRect> screens;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary) screens.push_back(rectOf(primary->geometry()));
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != primary) screens.push_back(rectOf(screen->geometry()));
    return screens;
}

QColor qColorOf(OverlayStyle::Color color) {
    return QColor(color.red, color.green, color.blue);
}

} // namespace

OverlayController::OverlayController(PreferencesProvider preferences, Clock clock, CompositingProbe isCompositing)
    : preferences_(std::move(preferences)), clock_(clock ? std::move(clock) : Clock(steadySeconds)),
      isCompositing_(std::move(isCompositing)), tracker_(clock_()) {
    if (!isCompositing_) {
        auto probe = std::make_shared<X11CompositingProbe>();
        isCompositing_ = [probe] { return probe->isCompositing(); };
    }
}

OverlayController::~OverlayController() = default;

bool OverlayController::isTracking() const {
    return timer_ && timer_->isActive();
}

void OverlayController::setMode(OverlayMode mode) {
    tracker_.setMode(mode, clock_());
    if (mode == OverlayMode::off) {
        timer_.reset();
        if (panel_) panel_->hide();
        return;
    }
    bool composited = isCompositing_();
    if (!panel_ || (panel_->backing() == OverlayView::Backing::translucent) != composited) makePanel(composited);

    auto preferences = preferences_();
    panel_->setMode(mode);
    panel_->setColor(qColorOf(OverlayStyle::color(preferences.overlayColor)));
    panel_->setScale(OverlayStyle::scale(preferences.overlaySize));
    moveToScreenUnderCursor();
    panel_->show();
    panel_->raise();
    ticksSinceRaise_ = 0;

    // Switching between laser and spotlight keeps the one timer.
    if (!timer_) {
        timer_ = std::make_unique<QTimer>();
        timer_->setTimerType(Qt::PreciseTimer);
        timer_->setInterval(tickMilliseconds);
        QObject::connect(timer_.get(), &QTimer::timeout, [this] { tick(); });
        timer_->start();
    }
    tick();
    // A new mode, colour or size shows at once, even while the pointer stands still.
    panel_->refresh();
}

void OverlayController::makePanel(bool composited) {
    panel_ =
        std::make_unique<OverlayView>(composited ? OverlayView::Backing::translucent : OverlayView::Backing::shaped);
    if (QScreen* primary = QGuiApplication::primaryScreen()) panel_->setGeometry(primary->geometry());
}

void OverlayController::moveToScreenUnderCursor() {
    if (auto screen = screenUnder(pointerPosition(), screensPrimaryFirst())) {
        panel_->setGeometry(qRectOf(*screen));
        panel_->refresh();
    }
}

void OverlayController::tick() {
    if (!panel_) return;
    auto frame = rectOf(panel_->geometry());
    auto step = tracker_.tick(pointerPosition(), clock_(), frame, screensPrimaryFirst());
    if (step.panel != frame) {
        panel_->setGeometry(qRectOf(step.panel));
        panel_->refresh();
    }
    panel_->updateCursor(step.cursor, step.dotHidden);
    if (++ticksSinceRaise_ >= raiseEveryTicks) {
        panel_->raise();
        ticksSinceRaise_ = 0;
    }
}

} // namespace orvik::helper
