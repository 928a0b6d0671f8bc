#pragma once

#include "orvik/protocol/messages/CommandMessages.hpp"
#include "overlay/OverlayGeometry.hpp"

#include <QColor>
#include <QRegion>
#include <QWidget>

namespace orvik::helper {

// The overlay panel and what it draws: the laser dot with its glow, or the spotlight. It covers one screen,
// never takes focus or input, and bypasses the window manager so it stays above full-screen windows.
//
// With a compositing manager it is translucent and draws exactly the alphas of OverlayStyle. Without one,
// translucent pixels would come out black, so it is an opaque window cut to the shape of what it draws: the
// laser is the opaque dot alone (no glow), and the spotlight darkens the screen around the hole completely.
class OverlayView final : public QWidget {
public:
    enum class Backing { translucent, shaped };

    explicit OverlayView(Backing backing);

    Backing backing() const { return backing_; }
    OverlayMode mode() const { return mode_; }
    QPointF cursor() const { return cursor_; }
    bool isDotHidden() const { return isDotHidden_; }

    // Take effect at the next drawing; `refresh()` draws at once.
    void setMode(OverlayMode mode) { mode_ = mode; }
    void setColor(QColor color) { color_ = color; }
    void setScale(double scale) { scale_ = scale; }
    void refresh();

    // A new pointer position (in the panel's coordinates) and dot visibility; redraws only when either changed.
    void updateCursor(OverlayPoint cursor, bool hidden);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintTranslucent(QPainter& painter);
    void paintShaped(QPainter& painter);
    QRegion shape() const;
    bool drawsDot() const { return mode_ == OverlayMode::laser && !isDotHidden_; }

    const Backing backing_;
    OverlayMode mode_ = OverlayMode::off;
    QColor color_{255, 59, 48};
    double scale_ = 1.0;
    QPointF cursor_;
    bool isDotHidden_ = false;
};

} // namespace orvik::helper
