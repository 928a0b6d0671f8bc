#pragma once

#include "onboarding/QRCode.hpp"

#include <QWidget>

#include <optional>

namespace orvik::helper {

// Shows a QR code in a square of `side` points. The code is drawn in whole device pixels per module at the
// screen's pixel ratio (the nearest whole size to the square, centred), so no module is ever blurred or uneven.
// Without a picture it shows a faint grey square instead.
class QRCodeLabel : public QWidget {
public:
    QRCodeLabel(int side, QWidget* parent = nullptr);

    void setPicture(std::optional<QRCode::Picture> picture);

    // Device pixels per module for a code of `modules` drawn into `side` points at `ratio`: the nearest whole
    // number, at least 1.
    static int modulePixels(int modules, int side, double ratio);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const int side_;
    QImage modulesImage_; // one pixel per module
    std::optional<int> modules_;
};

} // namespace orvik::helper
